#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

#include "platform/Folders.h"

namespace tavrelle {

// The folders handed to the page, in the order of the handles it receives.
inline constexpr size_t kNamedFolderCount = 13;

struct NamedFolder {
  std::string_view name;  // "<app>", "<documents>" ...
  std::string path;       // empty when the folder is unknown
};

struct NamedFolderSources {
  std::string appFolder;       // ends with "/"
  std::string webRoot;         // "www/"
  std::string userDataFolder;  // the app data folder
  std::function<std::string(KnownFolder)> knownFolderPath;
};

// The thirteen named folders, the known ones resolved now.
[[nodiscard]] std::array<NamedFolder, kNamedFolderCount> ResolveNamedFolders(
    const NamedFolderSources& sources);

}  // namespace tavrelle
