#include "common/Dpi.h"

#include <cmath>
#include <limits>
#include <optional>
#include <utility>

namespace tavrelle {

namespace {

constexpr int kLogicalDpi = 96;

// Start-up and the window code run on the main thread only, so no locks.
std::function<int()>& DpiSource() {
  static std::function<int()> source;
  return source;
}

std::optional<float>& CachedFactor() {
  static std::optional<float> factor;
  return factor;
}

// A source that reports no sensible value (0 or negative) counts as 96 DPI.
float ReadFactor() {
  const int dpi = DpiSource() ? DpiSource()() : kLogicalDpi;
  return static_cast<float>(dpi > 0 ? dpi : kLogicalDpi) / static_cast<float>(kLogicalDpi);
}

}  // namespace

void SetScreenDpiSource(std::function<int()> source) { DpiSource() = std::move(source); }

int32_t ScaleForDpi(int32_t value) {
  if (!CachedFactor()) {
    CachedFactor() = ReadFactor();
  }
  return ScaleForDpiWithFactor(value, *CachedFactor());
}

int32_t ScaleForDpiWithFactor(int32_t value, float factor) {
  const float scaled = std::ceil(static_cast<float>(value) * factor);
  // Results beyond the 32-bit range are clamped rather than left undefined.
  constexpr auto kMax = static_cast<float>(std::numeric_limits<int32_t>::max());
  constexpr auto kMin = static_cast<float>(std::numeric_limits<int32_t>::min());
  if (!(scaled < kMax)) {
    return std::numeric_limits<int32_t>::max();
  }
  if (scaled < kMin) {
    return std::numeric_limits<int32_t>::min();
  }
  return static_cast<int32_t>(scaled);
}

void ResetDpiCacheForTesting() { CachedFactor().reset(); }

}  // namespace tavrelle
