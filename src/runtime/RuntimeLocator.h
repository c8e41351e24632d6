#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrelle::runtime {

// What the locator needs to know about the machine.
class ExecutableLookup {
 public:
  virtual ~ExecutableLookup() = default;
  // True when path names a regular file the user may execute.
  [[nodiscard]] virtual bool isExecutableFile(const std::string& path) const = 0;
  // The search path: folders separated by ':' (the value of PATH); empty when unset.
  [[nodiscard]] virtual std::string searchPath() const = 0;
};

// File names of the browser executable inside a fixed runtime folder, in the order tried.
const std::vector<std::string_view>& fixedRuntimeExecutableNames();
// Names of installed Chromium-family browsers looked up on the search path, in the
// order tried: the first name found in any folder wins over later names.
const std::vector<std::string_view>& installedBrowserNames();

// The browser executable to run. With a fixed runtime folder only that folder counts
// (a relative folder is taken relative to appFolder); without one, the first installed
// browser on the search path. Nothing when there is none.
std::optional<std::string> locateBrowserExecutable(
    const std::optional<std::string>& fixedRuntimeFolder, const std::string& appFolder,
    const ExecutableLookup& lookup);

// Joins a folder and a name with exactly one "/" between them.
std::string joinPath(std::string_view folder, std::string_view name);

}  // namespace tavrelle::runtime
