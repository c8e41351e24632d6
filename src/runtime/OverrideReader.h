#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/LocatorPorts.h"
#include "runtime/PolicyStore.h"

namespace tavrelle::runtime {

// Reads one overridable setting: the developer's environment variable first (not in an
// elevated process), then the administrator's policy, machine before user (the user's
// only when not elevated). Policy reading never fails: a missing or mistyped value
// leaves the setting unset.
class OverrideReader {
 public:
  struct Setting {
    const char* variable;
    const char* policyName;
    bool wildcardAllowed = true;    // the "*" value name applies to every executable
    bool forcePolicyCheck = false;  // consult policies even when no root was found last time
  };

  // executableName: the running executable's file name; empty when unknown.
  // policyRootFound: whether the most recent check found a policy root (true before
  // the first); kept by the owner across calls.
  OverrideReader(const LocatorEnvironment& environment, const PolicyStore& policies, bool elevated,
                 std::string executableName, bool& policyRootFound);

  [[nodiscard]] std::optional<std::string> readString(const Setting& setting);
  // A flag is on when its value reads as the number 1.
  [[nodiscard]] std::optional<bool> readFlag(const Setting& setting);
  // A comma-separated list of channel numbers, as a mask.
  [[nodiscard]] std::optional<uint32_t> readChannelList(const Setting& setting);

 private:
  struct Raw {
    std::optional<std::string> fromEnvironment;
    std::optional<nlohmann::json> fromPolicy;
  };
  [[nodiscard]] Raw readRaw(const Setting& setting);
  [[nodiscard]] std::optional<nlohmann::json> readPolicy(const Setting& setting);
  [[nodiscard]] std::vector<std::string> valueNames(bool wildcardAllowed) const;

  const LocatorEnvironment& environment_;
  const PolicyStore& policies_;
  bool elevated_;
  std::string executableName_;
  bool& policyRootFound_;
};

// The number at the start of text, C-library style: leading blanks, an optional sign,
// then digits; 0 when there are none.
[[nodiscard]] int64_t LeadingNumberOf(std::string_view text);

}  // namespace tavrelle::runtime
