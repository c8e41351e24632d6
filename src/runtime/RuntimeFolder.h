#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runtime/LocatorPorts.h"

namespace tavrelle::runtime {

// The browser executable inside a runtime folder, under the first of these names that
// exists: "chrome", "chromium", "msedge".
[[nodiscard]] const std::vector<std::string_view>& BrowserExecutableNames();

struct ClientCheck {
  enum class Outcome : uint8_t { Usable, Missing, Inaccessible };
  Outcome outcome = Outcome::Missing;
  // The executable checked: the first name that exists, else the first name tried.
  std::string candidate;
  [[nodiscard]] bool usable() const { return outcome == Outcome::Usable; }
};

// Whether the folder holds a browser executable that this process may run.
[[nodiscard]] ClientCheck CheckClient(const LocatorFiles& files, const std::string& folder);

// folder + "/" + name, with exactly one "/" between them.
[[nodiscard]] std::string JoinPath(std::string_view folder, std::string_view name);

// The last component of a path ("/opt/google/chrome/" gives "chrome").
[[nodiscard]] std::string_view LastComponentOf(std::string_view path);

}  // namespace tavrelle::runtime
