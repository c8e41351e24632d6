#pragma once

#include <optional>
#include <string>

namespace tavrelle::linux_platform {

// The per-user data folder from $XDG_DATA_HOME (used when absolute), else
// <home>/.local/share with home from $HOME, else from the user database; empty when no
// home is known. Without a trailing "/".
[[nodiscard]] std::string LocalAppDataFolderFrom(
    const char* xdgDataHome, const char* home, const std::optional<std::string>& userDatabaseHome);

// The folder without trailing slashes ("/" stays "/").
[[nodiscard]] std::string WithoutTrailingSlash(std::string folder);

}  // namespace tavrelle::linux_platform
