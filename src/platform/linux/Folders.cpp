#include "platform/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/Files.h"

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
  std::string base = HomeFolderFrom(home, userDatabaseHome);
  if (base.empty()) return {};
  if (base == "/") base.clear();
  return base + "/.local/share";
}

std::string HomeFolderFrom(const char* home, const std::optional<std::string>& userDatabaseHome) {
  if (home != nullptr && home[0] == '/') return WithoutTrailingSlash(home);
  if (userDatabaseHome && !userDatabaseHome->empty() && userDatabaseHome->front() == '/')
    return WithoutTrailingSlash(*userDatabaseHome);
  return {};
}

std::string ConfigFolderFrom(const char* xdgConfigHome, const std::string& home) {
  if (xdgConfigHome != nullptr && xdgConfigHome[0] == '/')
    return WithoutTrailingSlash(xdgConfigHome);
  if (home.empty()) return {};
  return (home == "/" ? std::string() : home) + "/.config";
}

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// The text between the double quotes, escapes resolved; nothing when it is not quoted.
std::optional<std::string> Unquoted(std::string_view value) {
  if (value.size() < 2 || value.front() != '"' || value.back() != '"') return std::nullopt;
  value = value.substr(1, value.size() - 2);
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

std::string ChildOf(const std::string& folder, std::string_view name) {
  return (folder == "/" ? std::string() : folder) + "/" + std::string(name);
}

}  // namespace

std::optional<std::string> UserDirFrom(std::string_view userDirsText, std::string_view key,
                                       const std::string& home) {
  std::optional<std::string> found;
  while (!userDirsText.empty()) {
    size_t end = userDirsText.find('\n');
    std::string_view line = Trimmed(userDirsText.substr(0, end));
    userDirsText.remove_prefix(end == std::string_view::npos ? userDirsText.size() : end + 1);
    if (line.empty() || line.front() == '#') continue;
    size_t equals = line.find('=');
    if (equals == std::string_view::npos || Trimmed(line.substr(0, equals)) != key) continue;
    std::optional<std::string> value = Unquoted(Trimmed(line.substr(equals + 1)));
    if (!value) continue;
    constexpr std::string_view kHome = "$HOME";
    std::string_view text = *value;
    if (text.starts_with(kHome) && (text.size() == kHome.size() || text[kHome.size()] == '/')) {
      if (home.empty()) continue;
      found = WithoutTrailingSlash(home + std::string(text.substr(kHome.size())));
    } else if (text.starts_with('/')) {
      found = WithoutTrailingSlash(std::string(text));
    }
    // The last usable line wins, as when the file is sourced by a shell.
  }
  return found;
}

namespace {

struct UserDirRule {
  KnownFolder folder;
  std::string_view key;
  std::string_view defaultName;  // under the home folder
};

constexpr UserDirRule kUserDirRules[] = {
    {KnownFolder::Desktop, "XDG_DESKTOP_DIR", "Desktop"},
    {KnownFolder::Documents, "XDG_DOCUMENTS_DIR", "Documents"},
    {KnownFolder::Downloads, "XDG_DOWNLOAD_DIR", "Downloads"},
    {KnownFolder::Pictures, "XDG_PICTURES_DIR", "Pictures"},
    {KnownFolder::Videos, "XDG_VIDEOS_DIR", "Videos"},
};

std::string UserDirPath(KnownFolder folder, const std::string& home, const XdgSources& sources) {
  for (const auto& rule : kUserDirRules) {
    if (rule.folder != folder) continue;
    if (auto configured = UserDirFrom(sources.userDirsText, rule.key, home)) return *configured;
    return home.empty() ? std::string() : ChildOf(home, rule.defaultName);
  }
  return {};
}

}  // namespace

std::string KnownFolderPathFrom(KnownFolder folder, const XdgSources& sources) {
  std::string home = HomeFolderFrom(sources.home, sources.userDatabaseHome);
  switch (folder) {
    case KnownFolder::LocalAppData:
      return LocalAppDataFolderFrom(sources.xdgDataHome, sources.home, sources.userDatabaseHome);
    case KnownFolder::RoamingAppData:
      return ConfigFolderFrom(sources.xdgConfigHome, home);
    case KnownFolder::Profile:
      return home;
    case KnownFolder::SavedGames: {
      std::string data =
          LocalAppDataFolderFrom(sources.xdgDataHome, sources.home, sources.userDatabaseHome);
      return data.empty() ? data : ChildOf(data, "Saved Games");
    }
    case KnownFolder::Screenshots: {
      std::string pictures = UserDirPath(KnownFolder::Pictures, home, sources);
      return pictures.empty() ? pictures : ChildOf(pictures, "Screenshots");
    }
    case KnownFolder::Desktop:
    case KnownFolder::Documents:
    case KnownFolder::Downloads:
    case KnownFolder::Pictures:
    case KnownFolder::Videos:
      return UserDirPath(folder, home, sources);
  }
  return {};
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

std::string GetKnownFolderPath(KnownFolder folder) {
  linux_platform::XdgSources sources;
  sources.home = std::getenv("HOME");
  sources.xdgDataHome = std::getenv("XDG_DATA_HOME");
  sources.xdgConfigHome = std::getenv("XDG_CONFIG_HOME");
  if (sources.home == nullptr || sources.home[0] != '/')
    sources.userDatabaseHome = linux_platform::UserDatabaseHome();
  const std::string home = linux_platform::HomeFolderFrom(sources.home, sources.userDatabaseHome);
  const std::string config = linux_platform::ConfigFolderFrom(sources.xdgConfigHome, home);
  if (!config.empty()) {
    sources.userDirsText = ReadWholeFile(config + "/user-dirs.dirs").value_or(std::string());
  }
  return linux_platform::KnownFolderPathFrom(folder, sources);
}

}  // namespace tavrelle
