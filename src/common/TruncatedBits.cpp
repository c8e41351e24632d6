#include "common/TruncatedBits.h"

#include <cmath>

namespace tavrelle {

uint32_t LowBitsOfTruncated(double value) {
  if (!std::isfinite(value)) {
    return 0;
  }
  // fmod is exact, and its result lies strictly inside (-2^32, 2^32), where the
  // conversion to int64 is defined; the conversion to uint32 is then modular.
  constexpr double kTwoTo32 = 4294967296.0;
  const double remainder = std::fmod(std::trunc(value), kTwoTo32);
  return static_cast<uint32_t>(static_cast<int64_t>(remainder));
}

}  // namespace tavrelle
