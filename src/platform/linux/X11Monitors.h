#pragma once

#include <X11/Xlib.h>

#include <span>
#include <vector>

#include "platform/Geometry.h"

namespace tavrelle::linux_platform {

// The monitor with the largest intersection with the window; when the window touches
// none, the monitor closest to it; without monitors, the whole screen.
[[nodiscard]] Rect ChooseMonitor(std::span<const Rect> monitors, Rect window, Rect screen);

// Monitor rectangles in root coordinates from XRandR (monitors, else active CRTCs);
// empty when the extension is missing.
[[nodiscard]] std::vector<Rect> QueryMonitorRects(Display* display, Window root);

}  // namespace tavrelle::linux_platform
