#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <optional>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/linux/X11Atoms.h"

namespace tavrelle::linux_platform {

// What an X event on the main window means to it, before any state is consulted.
struct MainWindowInput {
  enum class Kind {
    Ignore,
    Close,               // WM_DELETE_WINDOW
    TakeFocus,           // WM_TAKE_FOCUS: hand the focus on, with `time`
    Destroyed,           // the window itself was destroyed
    FocusGained,         // the keyboard focus arrived at the window itself
    GeometryChanged,     // size or position may have changed
    StateChanged,        // _NET_WM_STATE or WM_STATE changed
    FrameExtentsChanged  // _NET_FRAME_EXTENTS changed
  };
  Kind kind = Kind::Ignore;
  Time time = CurrentTime;
};

// Classifies one event whose window is the main window.
[[nodiscard]] MainWindowInput ClassifyMainWindowEvent(const XEvent& event, Window window,
                                                      const X11Atoms& atoms);

// Where the client area is and in which state: what Size and Move events report.
struct ClientGeometry {
  int32_t x = 0;  // client area origin in root coordinates
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  SizeType sizeType = SizeType::Restored;
  friend bool operator==(const ClientGeometry&, const ClientGeometry&) = default;
};

// The events telling the window procedure how `now` differs from what it was last told:
// Size when the size or the state changed, Move when the position changed.
[[nodiscard]] std::vector<WindowEvent> GeometryChangeEvents(const ClientGeometry& reported,
                                                            const ClientGeometry& now);

// Raw relative movement of the first two axes of an XI_RawMotion event; nothing when
// neither axis moved.
struct RawDelta {
  double dx = 0;
  double dy = 0;
};
[[nodiscard]] std::optional<RawDelta> RawMotionDelta(const XIRawEvent& event);

// Splits accumulated movement into whole pixels, keeping the fractions for later.
class RawMotionAccumulator {
 public:
  // Whole pixels moved so far (and taken out of the remainder); nothing while below one.
  std::optional<WindowEvent> add(RawDelta delta);

 private:
  double remainderX_ = 0;
  double remainderY_ = 0;
};

}  // namespace tavrelle::linux_platform
