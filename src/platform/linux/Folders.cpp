#include "platform/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/linux/FolderRules.h"

namespace tavrelle {

namespace linux_platform {

std::string WithoutTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::string LocalAppDataFolderFrom(const char* xdgDataHome, const char* home,
                                   const std::optional<std::string>& userDatabaseHome) {
  // The XDG base directory rules ignore relative values.
  if (xdgDataHome != nullptr && xdgDataHome[0] == '/') return WithoutTrailingSlash(xdgDataHome);
  std::string base;
  if (home != nullptr && home[0] != '\0') {
    base = home;
  } else if (userDatabaseHome && !userDatabaseHome->empty()) {
    base = *userDatabaseHome;
  } else {
    return {};
  }
  base = WithoutTrailingSlash(base);
  if (base == "/") base.clear();
  return base + "/.local/share";
}

namespace {

std::optional<std::string> UserDatabaseHome() {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr) {
    return std::nullopt;
  }
  return std::string(found->pw_dir);
}

std::string ReadExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

}  // namespace linux_platform

const std::string& ExecutablePath() {
  static const std::string path = linux_platform::ReadExecutablePath();
  return path;
}

std::string LocalAppDataFolder() {
  const char* xdgDataHome = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  bool needDatabase =
      (xdgDataHome == nullptr || xdgDataHome[0] != '/') && (home == nullptr || home[0] == '\0');
  return linux_platform::LocalAppDataFolderFrom(
      xdgDataHome, home, needDatabase ? linux_platform::UserDatabaseHome() : std::nullopt);
}

}  // namespace tavrelle
