#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/LocatorPorts.h"

namespace tavrelle::runtime {

// Administrator policies as JSON files: "<root>/<PolicyName>.json" holds one object
// from value name to value (a JSON string or integer). A root exists when its folder
// does; a file that is missing, unreadable or not such an object is a missing key.
class PolicyStore {
 public:
  enum class Scope : uint8_t { Machine, User };

  // userRoot: nothing when the user has no configuration folder.
  PolicyStore(const LocatorFiles& files, std::string machineRoot,
              std::optional<std::string> userRoot);

  [[nodiscard]] bool rootExists(Scope scope) const;
  // Whether the key (file) of the policy exists as an object under the scope's root.
  [[nodiscard]] bool keyExists(Scope scope, std::string_view policyName) const;
  // The value of the first of valueNames the key holds; nothing when none is there.
  [[nodiscard]] std::optional<nlohmann::json> value(
      Scope scope, std::string_view policyName, const std::vector<std::string>& valueNames) const;

  static constexpr const char* kMachineRoot = "/etc/tavrelle/policies/";

 private:
  [[nodiscard]] std::optional<nlohmann::json> key(Scope scope, std::string_view policyName) const;
  [[nodiscard]] const std::optional<std::string>& rootOf(Scope scope) const;

  const LocatorFiles& files_;
  std::optional<std::string> machineRoot_;
  std::optional<std::string> userRoot_;
};

// The user's policy root: $XDG_CONFIG_HOME/tavrelle/policies/, by default
// ~/.config/tavrelle/policies/; nothing when neither folder is known.
[[nodiscard]] std::optional<std::string> UserPolicyRoot(const LocatorEnvironment& environment);

}  // namespace tavrelle::runtime
