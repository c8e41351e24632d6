#pragma once

#include "platform/Geometry.h"
#include "platform/MouseInput.h"

namespace tavrelle {

// The main window's pointer services, for a web view that has no window of its own
// and whose input and cursor the host relays. Main thread only.
class WindowPointer {
 public:
  virtual ~WindowPointer() = default;

  // Client rectangle: (0, 0, width, height).
  [[nodiscard]] virtual Rect clientRect() const = 0;
  [[nodiscard]] virtual Point screenToClient(Point screen) const = 0;
  // Asks for one MouseLeave message when the pointer leaves the window (true), or
  // cancels that request (false).
  virtual void trackMouseLeave(bool track) = 0;
  // Mouse capture: while held, the window receives the mouse messages also when the
  // pointer is outside it.
  [[nodiscard]] virtual bool hasCapture() const = 0;
  virtual void setCapture() = 0;
  virtual void releaseCapture() = 0;
  // The cursor shown while the pointer is over the client area.
  virtual void setCursor(SystemCursor cursor) = 0;
};

}  // namespace tavrelle
