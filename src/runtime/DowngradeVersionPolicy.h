#pragma once

#include <optional>
#include <string>

#include "runtime/LocatorPorts.h"
#include "runtime/PolicyStore.h"

namespace tavrelle::runtime {

// The administrator's pin of one executable to an exact runtime version, machine-wide
// only: the policy "DowngradeVersion" maps an executable's file name to a version, and
// the runtime used is the folder of that version beside the first stable install
// (for "/opt/google/chrome" and "120.0.6099.71": "/opt/google/120.0.6099.71"), when it
// holds a browser executable.
struct DowngradeOutcome {
  std::string message;
  std::string detail;
  std::optional<std::string> folder;  // set when the policy applies
};

// Nothing when the policy does not exist (or the executable's name is unknown): the
// policy is then silent.
[[nodiscard]] std::optional<DowngradeOutcome> ResolveDowngradeVersion(
    const PolicyStore& policies, const LocatorFiles& files, const std::string& executableName);

}  // namespace tavrelle::runtime
