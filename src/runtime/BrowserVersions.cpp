#include "runtime/BrowserVersions.h"

#include <nlohmann/json.hpp>

#include "runtime/RuntimeFolder.h"
#include "runtime/RuntimeVersion.h"

namespace tavrelle::runtime {

namespace {

constexpr size_t kLargestCacheFile = size_t{256} * 1024;
// Enough for every browser a player has installed; beyond it the cache starts afresh.
constexpr size_t kMostRememberedExecutables = 64;

std::string Trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// A version answer is one dotted number, nothing else.
bool IsVersionAnswer(const std::string& text) {
  if (!ParseRuntimeVersion(text)) return false;
  return text.find_first_not_of("0123456789.") == std::string::npos;
}

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

BrowserVersions::BrowserVersions(LocatorFiles& files, ProcessRunner& processes,
                                 std::optional<std::string> cacheFile)
    : files_(files), processes_(processes), cacheFile_(std::move(cacheFile)) {}

std::optional<std::string> BrowserVersions::knownVersionOf(const std::string& folder,
                                                           const std::string& executable) {
  std::string name(LastComponentOf(folder));
  if (ParseRuntimeVersion(name)) return name;
  auto stamp = files_.stampOf(executable);
  if (!stamp) return std::nullopt;
  return remembered(executable, *stamp);
}

std::optional<std::string> BrowserVersions::versionOf(const std::string& folder,
                                                      const std::string& executable) {
  if (auto known = knownVersionOf(folder, executable)) return known;
  auto stamp = files_.stampOf(executable);
  if (!stamp) return std::nullopt;
  auto output = processes_.outputOf(executable, {"--product-version"}, kReportTimeout);
  if (!output) return std::nullopt;
  std::string version = Trimmed(*output);
  if (!IsVersionAnswer(version)) return std::nullopt;
  remember(executable, *stamp, version);
  return version;
}

std::optional<std::string> BrowserVersions::remembered(const std::string& executable,
                                                       const FileStamp& stamp) {
  loadCacheFile();
  auto found = entries_.find(executable);
  if (found == entries_.end() || found->second.stamp != stamp) return std::nullopt;
  return found->second.version;
}

void BrowserVersions::remember(const std::string& executable, const FileStamp& stamp,
                               const std::string& version) {
  loadCacheFile();
  if (entries_.size() >= kMostRememberedExecutables && !entries_.contains(executable)) {
    entries_.clear();
  }
  entries_[executable] = Entry{stamp, version};
  saveCacheFile();
}

// {"<executable>": {"modified": <ns>, "size": <bytes>, "version": "<text>"}, ...}
void BrowserVersions::loadCacheFile() {
  if (cacheLoaded_) return;
  cacheLoaded_ = true;
  if (!cacheFile_) return;
  auto text = files_.readText(*cacheFile_, kLargestCacheFile);
  if (!text) return;
  auto parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return;
  for (const auto& [executable, entry] : parsed.items()) {
    if (!entry.is_object() || !IsAbsolute(executable)) continue;
    auto modified = entry.find("modified");
    auto size = entry.find("size");
    auto version = entry.find("version");
    if (modified == entry.end() || !modified->is_number_integer() || size == entry.end() ||
        !size->is_number_unsigned() || version == entry.end() || !version->is_string() ||
        !IsVersionAnswer(version->get<std::string>())) {
      continue;
    }
    entries_[executable] = Entry{FileStamp{size->get<uint64_t>(), modified->get<int64_t>()},
                                 version->get<std::string>()};
  }
}

void BrowserVersions::saveCacheFile() {
  if (!cacheFile_) return;
  nlohmann::json document = nlohmann::json::object();
  for (const auto& [executable, entry] : entries_) {
    document[executable] = {{"modified", entry.stamp.modifiedNanoseconds},
                            {"size", entry.stamp.size},
                            {"version", entry.version}};
  }
  // A cache that cannot be written only costs the next start one question.
  files_.writeTextReplacing(*cacheFile_, document.dump());
}

std::optional<std::string> BrowserVersionCacheFile(const LocatorEnvironment& environment) {
  constexpr const char* kBelowCache = "tavrelle/browser-versions.json";
  if (auto cache = environment.variable("XDG_CACHE_HOME"); cache && IsAbsolute(*cache)) {
    return JoinPath(*cache, kBelowCache);
  }
  if (auto home = environment.variable("HOME"); home && IsAbsolute(*home)) {
    return JoinPath(*home, std::string(".cache/") + kBelowCache);
  }
  return std::nullopt;
}

}  // namespace tavrelle::runtime
