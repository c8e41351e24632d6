#pragma once

#include <X11/Xlib.h>

#include <map>

#include "platform/MouseInput.h"

namespace tavrelle::linux_platform {

// The X cursors for the system cursor shapes: cursor-font shapes, each named after its
// shape (left_ptr, hand2, xterm ...) so that desktops and tests can tell them apart, and
// an empty cursor for Hidden. Made on first use, freed with the object.
class X11Cursors {
 public:
  explicit X11Cursors(Display* display) : display_(display) {}
  ~X11Cursors();
  X11Cursors(const X11Cursors&) = delete;
  X11Cursors& operator=(const X11Cursors&) = delete;

  Cursor cursorFor(SystemCursor shape, Window window);

  // The cursor-font name of a shape ("none" for Hidden).
  [[nodiscard]] static const char* nameOf(SystemCursor shape);

 private:
  Cursor make(SystemCursor shape, Window window);
  Cursor makeEmpty(Window window);

  Display* display_;
  std::map<SystemCursor, Cursor> cursors_;
};

}  // namespace tavrelle::linux_platform
