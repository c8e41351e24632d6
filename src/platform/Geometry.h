#pragma once

#include <cstdint>

namespace tavrelle {

// A point in pixels.
struct Point {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle in pixels, right and bottom exclusive, as window systems report them.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  [[nodiscard]] int32_t width() const { return right - left; }
  [[nodiscard]] int32_t height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Rgb {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

}  // namespace tavrelle
