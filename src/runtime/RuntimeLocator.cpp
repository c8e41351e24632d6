#include "runtime/RuntimeLocator.h"

namespace tavrelle::runtime {

const std::vector<std::string_view>& fixedRuntimeExecutableNames() {
  static const std::vector<std::string_view> names = {
      "chrome", "chromium", "msedge", "google-chrome", "microsoft-edge", "chrome-wrapper"};
  return names;
}

const std::vector<std::string_view>& installedBrowserNames() {
  static const std::vector<std::string_view> names = {"chromium",       "chromium-browser",
                                                      "google-chrome",  "google-chrome-stable",
                                                      "microsoft-edge", "microsoft-edge-stable"};
  return names;
}

std::string joinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!path.empty() && path.back() != '/') path += '/';
  while (name.starts_with('/')) name.remove_prefix(1);
  path += name;
  return path;
}

namespace {

bool isAbsolute(std::string_view path) { return path.starts_with('/'); }

std::vector<std::string> searchFolders(const std::string& searchPath) {
  std::vector<std::string> folders;
  size_t start = 0;
  while (start <= searchPath.size()) {
    size_t end = searchPath.find(':', start);
    if (end == std::string::npos) end = searchPath.size();
    std::string folder = searchPath.substr(start, end - start);
    // An empty entry means the current folder: never run a browser from wherever
    // the host happened to be started.
    if (isAbsolute(folder)) folders.push_back(std::move(folder));
    start = end + 1;
  }
  return folders;
}

std::optional<std::string> findInFolder(const std::string& folder,
                                        const std::vector<std::string_view>& names,
                                        const ExecutableLookup& lookup) {
  for (auto name : names) {
    std::string candidate = joinPath(folder, name);
    if (lookup.isExecutableFile(candidate)) return candidate;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> locateBrowserExecutable(
    const std::optional<std::string>& fixedRuntimeFolder, const std::string& appFolder,
    const ExecutableLookup& lookup) {
  if (fixedRuntimeFolder) {
    if (fixedRuntimeFolder->empty()) return std::nullopt;
    std::string folder = isAbsolute(*fixedRuntimeFolder) ? *fixedRuntimeFolder
                                                         : joinPath(appFolder, *fixedRuntimeFolder);
    return findInFolder(folder, fixedRuntimeExecutableNames(), lookup);
  }
  auto folders = searchFolders(lookup.searchPath());
  for (auto name : installedBrowserNames()) {
    for (const auto& folder : folders) {
      std::string candidate = joinPath(folder, name);
      if (lookup.isExecutableFile(candidate)) return candidate;
    }
  }
  return std::nullopt;
}

}  // namespace tavrelle::runtime
