#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <array>
#include <optional>

#include "platform/PointerInput.h"

namespace tavrelle::linux_platform {

class X11WindowSystem;
class X11MainWindow;

// Pointer lock's calls on X11: XInput2 raw motion selected on the root window (every
// sample, whichever window has the focus), four XFixes pointer barriers around the
// confinement rectangle instead of a pointer grab (a grab would take the clicks and the
// wheel from the page), XWarpPointer, and the XFixes cursor hiding.
class X11PointerInput final : public PointerInput {
 public:
  X11PointerInput(X11WindowSystem& system, X11MainWindow& window);
  ~X11PointerInput() override;
  X11PointerInput(const X11PointerInput&) = delete;
  X11PointerInput& operator=(const X11PointerInput&) = delete;

  [[nodiscard]] uint32_t registerRawMouse(bool enabled) override;
  void clipCursor(std::optional<Rect> area) override;
  void setCursorPos(int32_t x, int32_t y) override;
  void showCursor(bool show) override;
  [[nodiscard]] Rect primaryScreen() const override;
  [[nodiscard]] Rect virtualDesktop() const override;

 private:
  void removeBarriers();

  X11WindowSystem& system_;
  X11MainWindow& window_;
  bool barriersAvailable_ = false;
  std::array<PointerBarrier, 4> barriers_{};
  std::optional<Rect> confinement_;
  int hiddenCount_ = 0;
};

}  // namespace tavrelle::linux_platform
