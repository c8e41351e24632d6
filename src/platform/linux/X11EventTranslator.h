#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <optional>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/RawMouseSample.h"
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

// How the first two valuators of a pointer device report: movement (mice), or a
// position within each axis's range (tablets, virtual machines' pointers). An absolute
// axis without a range (max not above min) reports root window coordinates.
struct PointerAxes {
  bool absolute = false;
  double minX = 0;
  double maxX = 0;
  double minY = 0;
  double maxY = 0;
};

// What a device's earlier samples leave for its next: the fractions of relative
// movement not yet sent, and the last position of each absolute axis (an event carries
// only the axes that changed).
struct RawAxisCarry {
  double fractionX = 0;
  double fractionY = 0;
  double lastX = 0;
  double lastY = 0;
};

// The sample of one XI_RawMotion event (unaccelerated values) from a device with these
// axes; nothing when the event carries neither of the first two axes. Relative
// movement is sent in whole units, each fraction carried into the device's next event.
// X maps absolute devices across the whole root window, so absolute samples span the
// desktop.
[[nodiscard]] std::optional<RawMouseSample> RawMouseSampleFrom(const XIRawEvent& event,
                                                               const PointerAxes& axes,
                                                               RawAxisCarry& carry, Rect desktop);

}  // namespace tavrelle::linux_platform
