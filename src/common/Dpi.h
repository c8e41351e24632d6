#pragma once

#include <cstdint>
#include <functional>

namespace tavrelle {

// Where ScaleForDpi reads the screen's horizontal DPI on first use (the window
// system installs it at start-up; without a source the DPI is 96).
void SetScreenDpiSource(std::function<int()> source);

// A logical (96 DPI) pixel value scaled to the screen: value * (dpi / 96) in single
// precision, rounded up. The factor is read once and cached for the process.
[[nodiscard]] int32_t ScaleForDpi(int32_t value);

// The same arithmetic with a given factor (dpi / 96), without the cache.
[[nodiscard]] int32_t ScaleForDpiWithFactor(int32_t value, float factor);

// Forgets the cached factor (tests only).
void ResetDpiCacheForTesting();

}  // namespace tavrelle
