#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tavrelle::runtime {

// A runtime version: four unsigned 32-bit parts, "major.minor.build.patch".
using RuntimeVersion = std::array<uint32_t, 4>;

// The oldest runtime the host accepts.
inline constexpr RuntimeVersion kMinimumRuntimeVersion = {86, 0, 616, 0};

// Each part is a run of decimal digits (saturating at 0xFFFFFFFF) and parts are separated
// by "."; parsing stops at the first other character and missing parts are 0. A text that
// does not begin with a digit does not parse.
[[nodiscard]] std::optional<RuntimeVersion> ParseRuntimeVersion(std::string_view text);

// Compared part by part with the minimum; four equal parts are compatible.
[[nodiscard]] bool IsCompatibleRuntimeVersion(const RuntimeVersion& version);

// An exact version named by an administrator: digits and exactly three dots, not at
// either end and never two in a row.
[[nodiscard]] bool IsExactVersionText(std::string_view text);

}  // namespace tavrelle::runtime
