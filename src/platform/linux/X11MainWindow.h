#pragma once

#include <X11/Xlib.h>

#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "platform/MainWindow.h"
#include "platform/linux/PollEventLoop.h"
#include "platform/linux/X11Cursors.h"
#include "platform/linux/X11EventTranslator.h"
#include "platform/linux/X11MouseTranslator.h"
#include "platform/linux/X11StyleMapping.h"

namespace tavrelle::linux_platform {

class X11WindowSystem;

// The host's top-level X11 window.
//
// Sizes: X11 creates the client area; the frame belongs to the window manager and is
// known only from _NET_FRAME_EXTENTS. adjustWindowRect grows a client rectangle by that
// frame when the style has a caption and the frame is known (zero before the window
// manager reported it, and always without a window manager); setWindowPos subtracts the
// very same frame, so a client size survives adjustWindowRect followed by setWindowPos.
// Positions are outer positions: the window's gravity is north-west, so the window
// manager puts the frame's top-left corner where the window is moved.
//
// Focus follows the ICCCM "globally active" model: the window manager asks with
// WM_TAKE_FOCUS and the window hands the focus on to the adopted browser window.
//
// When asked to relay the pointer (visual hosting), the window receives the pointer
// events itself (the browser window lets them through) and delivers Mouse events; the
// mouse capture is the X server's implicit grab between a press and the last release.
class X11MainWindow final : public MainWindow, public WindowPointer {
 public:
  // Creates the hidden window; nullptr when the server refuses.
  static std::unique_ptr<X11MainWindow> create(X11WindowSystem& system,
                                               const MainWindowParams& params, WindowProc proc);
  ~X11MainWindow() override;
  X11MainWindow(const X11MainWindow&) = delete;
  X11MainWindow& operator=(const X11MainWindow&) = delete;

  [[nodiscard]] uint64_t nativeHandle() const override { return window_; }
  void show() override;
  void showCommand(ShowCommand command) override;
  void setTitle(const std::string& utf8Title) override;
  [[nodiscard]] uint32_t style() const override;
  void setStyle(uint32_t style) override;
  [[nodiscard]] Rect windowRect() const override;
  [[nodiscard]] Rect clientRect() const override;
  [[nodiscard]] Rect adjustWindowRect(Rect client, uint32_t style) const override;
  void setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) override;
  [[nodiscard]] Rect monitorRectNearest() const override;
  void markFullscreen(bool fullscreen) override;
  void setForeground() override;
  [[nodiscard]] bool isActive() const override;
  void close() override;
  void setTimer(int32_t id, int32_t intervalMs) override;
  void killTimer(int32_t id) override;
  WindowPointer* relayPointer() override;

  // WindowPointer
  [[nodiscard]] Point screenToClient(Point screen) const override;
  void trackMouseLeave(bool track) override { trackingMouseLeave_ = track; }
  [[nodiscard]] bool hasCapture() const override { return mouseCaptured_; }
  void setCapture() override { mouseCaptured_ = true; }
  void releaseCapture() override { mouseCaptured_ = false; }
  void setCursor(SystemCursor cursor) override;
  [[nodiscard]] PointerInput& pointerInput() override { return *pointerInput_; }

  // From the window system's event dispatch.
  void handleEvent(const XEvent& event);
  void handleRawSample(const RawMouseSample& sample);

 private:
  X11MainWindow(X11WindowSystem& system, Window window, const MainWindowParams& params,
                WindowProc proc);

  void setWindowProperties(const MainWindowParams& params);
  void setIcon(const Image& icon);
  void applyMotifHints();
  void applySizeHints(int32_t clientWidth, int32_t clientHeight);
  void applyMaximizingHints();
  void applyRequestedGeometry();
  void insistOnRequestedGeometry();
  // True when the event was pointer input of a relaying window.
  bool handlePointerEvent(const XEvent& event);
  void onGeometryOrStateChanged();
  void onFrameExtentsChanged();
  void takeFocus(Time time);
  [[nodiscard]] bool isSelfOrInside(Window window) const;
  void destroyWindow();
  void onDestroyed();
  // Calls the window procedure; false when it destroyed this object.
  bool dispatch(const WindowEvent& event);

  [[nodiscard]] WindowStateFlags readState() const;
  [[nodiscard]] ClientGeometry queryGeometry() const;
  [[nodiscard]] FrameExtents frameForStyle(uint32_t style) const;
  [[nodiscard]] Rect clientRectOnRoot() const;
  void changeState(bool add, Atom first, Atom second);
  void setMaximized(bool maximized);
  void minimize();
  void restore();

  X11WindowSystem& system_;
  Display* display_;
  Window window_;
  WindowProc proc_;
  uint32_t decorationStyle_;
  bool shown_ = false;
  bool destroyed_ = false;
  bool positioned_ = false;
  bool fullscreen_ = false;
  bool wantMaximized_ = false;
  FrameExtents currentFrame_;
  FrameExtents decoratedFrame_;
  ClientGeometry reported_;
  // The outer position and client size last asked for, re-applied when fullscreen ends.
  std::optional<Rect> requestedClient_;
  // How many more times the requested rectangle is re-sent while a window manager
  // restores its own after fullscreen.
  int geometryRestoresLeft_ = 0;
  static constexpr int kGeometryRestoreAttempts = 3;
  // Without a window manager the window maximizes itself: the rectangle to go back to.
  std::optional<Rect> unmaximizedClient_;
  // The client size a window that cannot be resized is pinned to while not maximized.
  std::pair<int32_t, int32_t> fixedClientSize_{1, 1};
  bool relayingPointer_ = false;
  bool trackingMouseLeave_ = false;
  bool mouseCaptured_ = false;
  X11MouseTranslator mouse_;
  X11Cursors cursors_;
  std::map<int32_t, PollEventLoop::TimerId> timers_;
  std::shared_ptr<bool> alive_;
  std::unique_ptr<PointerInput> pointerInput_;
};

}  // namespace tavrelle::linux_platform
