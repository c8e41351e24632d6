#pragma once

#include <cstdint>

namespace tavrelle {

// The range of one absolute axis, both ends included.
struct AxisRange {
  int32_t min = 0;
  int32_t max = 65535;
};

// One raw mouse record, as the device delivered it: no acceleration, no clamping to
// the screen.
struct RawMouseSample {
  // Relative devices (mice): x and y are movement in device units. Absolute devices
  // (tablets, virtual machines' pointers): x and y are a position within the ranges.
  bool absolute = false;
  // Absolute only: the ranges span the whole desktop rather than the primary screen.
  bool virtualDesktop = false;
  int32_t x = 0;
  int32_t y = 0;
  AxisRange rangeX{};
  AxisRange rangeY{};
};

}  // namespace tavrelle
