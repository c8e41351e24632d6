#pragma once

#include <X11/Xlib.h>

namespace tavrelle::linux_platform {

// Catches the X errors of one display connection used by the current thread alone, for
// as long as the trap lives, instead of handing them to the process's error handler.
// Errors of other connections still go to that handler. One trap per thread.
class X11ErrorTrap {
 public:
  explicit X11ErrorTrap(Display* display);
  ~X11ErrorTrap();
  X11ErrorTrap(const X11ErrorTrap&) = delete;
  X11ErrorTrap& operator=(const X11ErrorTrap&) = delete;

  // Waits until the server has handled every request sent so far; then returns the
  // first error code caught since the last call (0: none).
  int sync();
  // Like sync, without waiting: what has arrived so far.
  int take();

 private:
  Display* display_;
};

}  // namespace tavrelle::linux_platform
