#include "messaging/PointerLockGeometry.h"

#include <cstdlib>
#include <limits>

namespace tavrelle {

namespace {

int32_t MapAxis(int32_t value, AxisRange range, int32_t start, int32_t length) {
  return MulDiv(int64_t{value} - range.min, length, int64_t{range.max} - range.min) + start;
}

}  // namespace

int32_t MulDiv(int64_t number, int64_t numerator, int64_t denominator) {
  if (denominator == 0) return -1;
  // Both factors come from 32-bit values, so the product fits in 64 bits.
  const int64_t product = number * numerator;
  const bool negative = (product < 0) != (denominator < 0);
  const int64_t magnitude =
      (std::llabs(product) + std::llabs(denominator) / 2) / std::llabs(denominator);
  const int64_t result = negative ? -magnitude : magnitude;
  if (result > std::numeric_limits<int32_t>::max() ||
      result < std::numeric_limits<int32_t>::min()) {
    return -1;
  }
  return static_cast<int32_t>(result);
}

Point CentreOf(Rect rect) {
  return Point{rect.left + (rect.right - rect.left) / 2, rect.top + (rect.bottom - rect.top) / 2};
}

Point MapAbsoluteSample(const RawMouseSample& sample, Rect area) {
  return Point{MapAxis(sample.x, sample.rangeX, area.left, area.width()),
               MapAxis(sample.y, sample.rangeY, area.top, area.height())};
}

}  // namespace tavrelle
