#pragma once

#include "platform/EventLoop.h"
#include "platform/MainWindow.h"

namespace tavrelle {

// Timer ids used with the main window.
inline constexpr int32_t kVisualHostingTimerId = 1001;  // every 100 ms in visual capture mode

// The main window's procedure: keeps the web view in step with the window (bounds,
// position, focus), tells the page about maximizing and minimizing, feeds pointer lock,
// and ends the loop when the window is gone. Reaches the web view host only through
// CurrentWebViewHost(); does nothing web-view related while there is none.
WindowProcResult MainWndProc(const WindowEvent& event, EventLoop& loop);

}  // namespace tavrelle
