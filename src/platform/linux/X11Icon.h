#pragma once

#include <vector>

#include "platform/MainWindow.h"

namespace tavrelle::linux_platform {

// The _NET_WM_ICON items for an image: width, height, then one ARGB pixel per item
// (Xlib carries 32-bit property items in longs). Empty when the image is inconsistent.
[[nodiscard]] std::vector<long> NetWmIconData(const Image& image);

}  // namespace tavrelle::linux_platform
