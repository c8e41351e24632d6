#pragma once

#include <X11/Xlib.h>

namespace tavrelle::linux_platform {

// The atoms the window system uses, interned once per connection.
struct X11Atoms {
  Atom wmProtocols = None;
  Atom wmDeleteWindow = None;
  Atom wmTakeFocus = None;
  Atom wmState = None;
  Atom wmChangeState = None;
  Atom utf8String = None;
  Atom netWmName = None;
  Atom netWmIcon = None;
  Atom netWmPid = None;
  Atom netWmState = None;
  Atom netWmStateMaximizedVert = None;
  Atom netWmStateMaximizedHorz = None;
  Atom netWmStateHidden = None;
  Atom netWmStateFullscreen = None;
  Atom netWmBypassCompositor = None;
  Atom netActiveWindow = None;
  Atom netFrameExtents = None;
  Atom netRequestFrameExtents = None;
  Atom netSupportingWmCheck = None;
  Atom netClientList = None;
  Atom motifWmHints = None;

  static X11Atoms intern(Display* display);
};

}  // namespace tavrelle::linux_platform
