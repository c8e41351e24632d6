#pragma once

#include <cstdint>

#include "platform/Geometry.h"
#include "platform/RawMouseSample.h"

namespace tavrelle {

// number * numerator / denominator in 64 bits, rounded half away from zero; -1 when
// the denominator is 0 or the result does not fit, as the classic MulDiv answers.
[[nodiscard]] int32_t MulDiv(int64_t number, int64_t numerator, int64_t denominator);

// (left + (right - left) / 2, top + (bottom - top) / 2), division truncating toward zero.
[[nodiscard]] Point CentreOf(Rect rect);

// Where an absolute sample points on the area its ranges span (the primary screen or
// the whole desktop): each axis's range stretched over the area's width or height.
[[nodiscard]] Point MapAbsoluteSample(const RawMouseSample& sample, Rect area);

}  // namespace tavrelle
