#pragma once

#include <string>

#include "runtime/HResult.h"

namespace tavrelle::runtime {

// The locator's two telemetry events, each as one compact JSON text (members in
// ascending key order), for a trace line.

// A failed attempt to create an environment.
[[nodiscard]] std::string EnvironmentErrorEvent(HResult result, bool clientFound,
                                                bool installedRuntime);

// The outcome of the exact-version policy: information when applied, a warning otherwise.
[[nodiscard]] std::string DowngradeVersionPolicyEvent(const std::string& message,
                                                      const std::string& detail, bool applied);

}  // namespace tavrelle::runtime
