#pragma once

#include <cstdint>
#include <optional>

#include "platform/Geometry.h"

namespace tavrelle {

// Raw mouse input and the cursor, as pointer lock needs them. Main thread only; the
// cursor's confinement, visibility and the registration are process-wide.
class PointerInput {
 public:
  virtual ~PointerInput() = default;

  // Starts (or stops) delivering every raw mouse sample to the main window as RawInput
  // events, whichever window has the focus. 0 on success, else the error number the
  // page is told (see the README).
  [[nodiscard]] virtual uint32_t registerRawMouse(bool enabled) = 0;
  // Keeps the cursor inside the rectangle (screen coordinates, right and bottom
  // excluded), or lets it go anywhere again.
  virtual void clipCursor(std::optional<Rect> area) = 0;
  virtual void setCursorPos(int32_t x, int32_t y) = 0;
  // One call per change: hide when locking, show when unlocking.
  virtual void showCursor(bool show) = 0;
  // The primary screen, and the whole desktop across every monitor.
  [[nodiscard]] virtual Rect primaryScreen() const = 0;
  [[nodiscard]] virtual Rect virtualDesktop() const = 0;
};

}  // namespace tavrelle
