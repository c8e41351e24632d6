#pragma once

#include <map>
#include <optional>
#include <string>

#include "runtime/LocatorPorts.h"

namespace tavrelle::runtime {

// The version of a runtime: its folder's name when that reads as a version (a fixed
// runtime unpacked in a versioned folder), otherwise what its browser executable reports
// when asked with --product-version. Reports are remembered per executable (path, size,
// modification time) in a cache file, so a normal start never runs the browser just to
// ask.
class BrowserVersions {
 public:
  // cacheFile: nothing to remember reports for this process only.
  BrowserVersions(LocatorFiles& files, ProcessRunner& processes,
                  std::optional<std::string> cacheFile);

  // The version text; nothing when the folder name is no version and the executable
  // gives no version answer.
  [[nodiscard]] std::optional<std::string> versionOf(const std::string& folder,
                                                     const std::string& executable);
  // Same, without running anything: the folder name or a remembered report.
  [[nodiscard]] std::optional<std::string> knownVersionOf(const std::string& folder,
                                                          const std::string& executable);

  // A browser answers within a fraction of a second; this only bounds a hung one.
  static constexpr std::chrono::seconds kReportTimeout{10};

 private:
  struct Entry {
    FileStamp stamp;
    std::string version;
  };
  [[nodiscard]] std::optional<std::string> remembered(const std::string& executable,
                                                      const FileStamp& stamp);
  void remember(const std::string& executable, const FileStamp& stamp, const std::string& version);
  void loadCacheFile();
  void saveCacheFile();

  LocatorFiles& files_;
  ProcessRunner& processes_;
  std::optional<std::string> cacheFile_;
  bool cacheLoaded_ = false;
  std::map<std::string, Entry> entries_;
};

// Where an elevated process (root) keeps its browser versions.
inline constexpr const char* kMachineVersionCacheFile = "/var/cache/tavrelle/browser-versions.json";

// $XDG_CACHE_HOME/tavrelle/browser-versions.json (by default under ~/.cache); nothing
// when neither folder is known.
[[nodiscard]] std::optional<std::string> BrowserVersionCacheFile(
    const LocatorEnvironment& environment);

}  // namespace tavrelle::runtime
