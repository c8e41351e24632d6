#include "platform/linux/X11PointerInput.h"

#include "platform/linux/X11Monitors.h"
#include "platform/linux/X11WindowSystem.h"

namespace tavrelle::linux_platform {

namespace {

// Pointer barriers arrived with XFixes 5.0.
bool HasPointerBarriers(Display* display) {
  int event = 0;
  int error = 0;
  if (!XFixesQueryExtension(display, &event, &error)) return false;
  int major = 0;
  int minor = 0;
  return XFixesQueryVersion(display, &major, &minor) != 0 && major >= 5;
}

}  // namespace

X11PointerInput::X11PointerInput(X11WindowSystem& system, X11MainWindow& window)
    : system_(system), window_(window), barriersAvailable_(HasPointerBarriers(system.display())) {}

X11PointerInput::~X11PointerInput() {
  removeBarriers();
  // Closing the connection would undo these too; the window may go before the display.
  for (; hiddenCount_ > 0; --hiddenCount_) XFixesShowCursor(system_.display(), system_.root());
  system_.flush();
}

uint32_t X11PointerInput::registerRawMouse(bool enabled) {
  return system_.selectRawMotionFor(&window_, enabled);
}

// A barrier lets the pointer through in the directions it names: each side lets it
// in and holds it inside. The pointer stops on the left and top lines and one pixel
// before the right and bottom ones, which lie just outside the rectangle.
void X11PointerInput::clipCursor(std::optional<Rect> area) {
  if (area == confinement_) return;
  removeBarriers();
  confinement_ = area;
  if (!area || !barriersAvailable_) {
    system_.flush();
    return;
  }
  Display* display = system_.display();
  const Window root = system_.root();
  const Rect r = *area;
  barriers_ = {
      XFixesCreatePointerBarrier(display, root, r.left, r.top, r.left, r.bottom, BarrierPositiveX,
                                 0, nullptr),
      XFixesCreatePointerBarrier(display, root, r.right, r.top, r.right, r.bottom, BarrierNegativeX,
                                 0, nullptr),
      XFixesCreatePointerBarrier(display, root, r.left, r.top, r.right, r.top, BarrierPositiveY, 0,
                                 nullptr),
      XFixesCreatePointerBarrier(display, root, r.left, r.bottom, r.right, r.bottom,
                                 BarrierNegativeY, 0, nullptr),
  };
  system_.flush();
}

void X11PointerInput::removeBarriers() {
  for (PointerBarrier& barrier : barriers_) {
    if (barrier != 0) XFixesDestroyPointerBarrier(system_.display(), barrier);
    barrier = 0;
  }
}

void X11PointerInput::setCursorPos(int32_t x, int32_t y) {
  XWarpPointer(system_.display(), None, system_.root(), 0, 0, 0, 0, x, y);
  system_.flush();
}

void X11PointerInput::showCursor(bool show) {
  if (show) {
    if (hiddenCount_ == 0) return;
    --hiddenCount_;
    XFixesShowCursor(system_.display(), system_.root());
  } else {
    ++hiddenCount_;
    XFixesHideCursor(system_.display(), system_.root());
  }
  system_.flush();
}

Rect X11PointerInput::virtualDesktop() const {
  Display* display = system_.display();
  return Rect{0, 0, DisplayWidth(display, system_.screen()),
              DisplayHeight(display, system_.screen())};
}

// The monitor at the desktop's origin, where desktops put the primary one by default.
Rect X11PointerInput::primaryScreen() const {
  const Rect desktop = virtualDesktop();
  std::vector<Rect> monitors = QueryMonitorRects(system_.display(), system_.root());
  return ChooseMonitor(monitors, Rect{0, 0, 1, 1}, desktop);
}

}  // namespace tavrelle::linux_platform
