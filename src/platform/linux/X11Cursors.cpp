#include "platform/linux/X11Cursors.h"

#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>

namespace tavrelle::linux_platform {

namespace {

struct FontCursor {
  unsigned int shape;
  const char* name;
};

FontCursor FontCursorFor(SystemCursor shape) {
  switch (shape) {
    case SystemCursor::Hand:
      return {XC_hand2, "hand2"};
    case SystemCursor::IBeam:
      return {XC_xterm, "xterm"};
    case SystemCursor::Cross:
      return {XC_crosshair, "crosshair"};
    case SystemCursor::SizeAll:
      return {XC_fleur, "fleur"};
    case SystemCursor::Wait:
    case SystemCursor::AppStarting:
      return {XC_watch, "watch"};
    case SystemCursor::No:
      return {XC_X_cursor, "X_cursor"};
    case SystemCursor::SizeNS:
      return {XC_sb_v_double_arrow, "sb_v_double_arrow"};
    case SystemCursor::SizeWE:
      return {XC_sb_h_double_arrow, "sb_h_double_arrow"};
    case SystemCursor::SizeNWSE:
      return {XC_bottom_right_corner, "bottom_right_corner"};
    case SystemCursor::SizeNESW:
      return {XC_bottom_left_corner, "bottom_left_corner"};
    case SystemCursor::Grab:
      return {XC_hand1, "hand1"};
    case SystemCursor::Grabbing:
      return {XC_fleur, "fleur"};
    case SystemCursor::Help:
      return {XC_question_arrow, "question_arrow"};
    case SystemCursor::Arrow:
    case SystemCursor::Hidden:
      break;
  }
  return {XC_left_ptr, "left_ptr"};
}

}  // namespace

X11Cursors::~X11Cursors() {
  for (const auto& [shape, cursor] : cursors_) XFreeCursor(display_, cursor);
}

const char* X11Cursors::nameOf(SystemCursor shape) {
  return shape == SystemCursor::Hidden ? "none" : FontCursorFor(shape).name;
}

Cursor X11Cursors::cursorFor(SystemCursor shape, Window window) {
  auto found = cursors_.find(shape);
  if (found != cursors_.end()) return found->second;
  Cursor cursor = make(shape, window);
  cursors_[shape] = cursor;
  return cursor;
}

Cursor X11Cursors::make(SystemCursor shape, Window window) {
  Cursor cursor = shape == SystemCursor::Hidden
                      ? makeEmpty(window)
                      : XCreateFontCursor(display_, FontCursorFor(shape).shape);
  XFixesSetCursorName(display_, cursor, nameOf(shape));
  return cursor;
}

Cursor X11Cursors::makeEmpty(Window window) {
  static const char kNoBits[1] = {0};
  Pixmap blank = XCreateBitmapFromData(display_, window, kNoBits, 1, 1);
  XColor black{};
  Cursor cursor = XCreatePixmapCursor(display_, blank, blank, &black, &black, 0, 0);
  XFreePixmap(display_, blank);
  return cursor;
}

}  // namespace tavrelle::linux_platform
