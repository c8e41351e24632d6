#include "runtime/RuntimeFolder.h"

namespace tavrelle::runtime {

const std::vector<std::string_view>& BrowserExecutableNames() {
  static const std::vector<std::string_view> kNames = {"chrome", "chromium", "msedge"};
  return kNames;
}

ClientCheck CheckClient(const LocatorFiles& files, const std::string& folder) {
  for (auto name : BrowserExecutableNames()) {
    std::string candidate = JoinPath(folder, name);
    if (files.kindOf(candidate) == FileKind::Missing) continue;
    const bool usable = files.canExecuteAndRead(candidate);
    return {usable ? ClientCheck::Outcome::Usable : ClientCheck::Outcome::Inaccessible,
            std::move(candidate)};
  }
  return {ClientCheck::Outcome::Missing, JoinPath(folder, BrowserExecutableNames().front())};
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (!path.empty() && path.back() != '/') path += '/';
  while (name.starts_with('/')) name.remove_prefix(1);
  path += name;
  return path;
}

std::string_view LastComponentOf(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace tavrelle::runtime
