#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/Folders.h"

namespace tavrelle::linux_platform {

// The per-user data folder from $XDG_DATA_HOME (used when absolute), else
// <home>/.local/share with home from $HOME, else from the user database; empty when no
// home is known. Without a trailing "/".
[[nodiscard]] std::string LocalAppDataFolderFrom(
    const char* xdgDataHome, const char* home, const std::optional<std::string>& userDatabaseHome);

// The folder without trailing slashes ("/" stays "/").
[[nodiscard]] std::string WithoutTrailingSlash(std::string folder);

// What the known folders are resolved from: the environment, the user database's home
// and the text of the user-dirs.dirs file (empty when there is none).
struct XdgSources {
  const char* home = nullptr;
  const char* xdgDataHome = nullptr;
  const char* xdgConfigHome = nullptr;
  std::optional<std::string> userDatabaseHome;
  std::string userDirsText;
};

// The home folder from $HOME, else the user database; empty when neither is known.
[[nodiscard]] std::string HomeFolderFrom(const char* home,
                                         const std::optional<std::string>& userDatabaseHome);

// $XDG_CONFIG_HOME when absolute, else <home>/.config; empty without a home.
[[nodiscard]] std::string ConfigFolderFrom(const char* xdgConfigHome, const std::string& home);

// The value of one XDG user directory ("XDG_DOCUMENTS_DIR" ...) in the text of a
// user-dirs.dirs file: "$HOME/..." or an absolute path, in double quotes, with
// backslash escapes. Nothing when the key is absent or its value is not usable.
[[nodiscard]] std::optional<std::string> UserDirFrom(std::string_view userDirsText,
                                                     std::string_view key, const std::string& home);

// The known folder's path from the given sources, without a trailing "/"; empty when
// it cannot be determined.
[[nodiscard]] std::string KnownFolderPathFrom(KnownFolder folder, const XdgSources& sources);

}  // namespace tavrelle::linux_platform
