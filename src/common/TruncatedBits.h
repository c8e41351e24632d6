#pragma once

#include <cstdint>

namespace tavrelle {

// The low 32 bits (two's complement) of a floating value truncated toward zero,
// exact for every finite value however large. NaN and infinities give 0, so no
// input is undefined behaviour.
[[nodiscard]] uint32_t LowBitsOfTruncated(double value);

}  // namespace tavrelle
