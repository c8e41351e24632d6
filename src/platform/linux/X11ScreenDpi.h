#pragma once

#include <X11/Xlib.h>

#include <optional>
#include <string_view>

namespace tavrelle::linux_platform {

// The value of an Xft.dpi resource ("96", "144", "120.5") rounded to whole dots per
// inch; nothing when it is not a plausible number.
[[nodiscard]] std::optional<int> ParseDpiResource(std::string_view value);

// Xft.dpi from the display's resource database, else 96.
[[nodiscard]] int ReadScreenDpi(Display* display);

}  // namespace tavrelle::linux_platform
