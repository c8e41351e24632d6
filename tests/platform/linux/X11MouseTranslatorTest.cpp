// gtest first: Xlib's macros (None) would break its declarations.
#include <gtest/gtest.h>

#include "platform/linux/X11MouseTranslator.h"

#include <utility>

namespace tavrelle::linux_platform {
namespace {

using namespace mouse_message;

XEvent Button(int type, unsigned int button, Time time, int x, int y, unsigned int state = 0) {
  XEvent event{};
  event.type = type;
  event.xbutton.button = button;
  event.xbutton.time = time;
  event.xbutton.x = x;
  event.xbutton.y = y;
  event.xbutton.x_root = x + 100;
  event.xbutton.y_root = y + 50;
  event.xbutton.state = state;
  return event;
}

// A second press of the same button soon and close by is a double click; a third
// starts over; slow, far or other-button presses are single.
TEST(X11MouseTranslatorTest, DoubleClicksNeedTheSameButtonSoonAndCloseBy) {
  X11MouseTranslator translator;
  const std::vector<std::pair<XEvent, uint32_t>> sequence = {
      {Button(ButtonPress, 1, 1000, 10, 10), kLeftButtonDown},
      {Button(ButtonRelease, 1, 1050, 10, 10, Button1Mask), kLeftButtonUp},
      {Button(ButtonPress, 1, 1200, 13, 8), kLeftButtonDoubleClick},
      {Button(ButtonPress, 1, 1300, 13, 8), kLeftButtonDown},
      {Button(ButtonPress, 1, 1801, 13, 8), kLeftButtonDown},
      {Button(ButtonPress, 1, 1900, 18, 8), kLeftButtonDown},
      {Button(ButtonPress, 3, 1950, 18, 8), kRightButtonDown}};
  for (size_t i = 0; i < sequence.size(); ++i) {
    EXPECT_EQ(translator.translate(sequence[i].first)->message, sequence[i].second) << i;
  }
}

TEST(X11MouseTranslatorTest, APressCountsItsButtonAsDownAndAReleaseAsUp) {
  X11MouseTranslator translator;
  auto press = translator.translate(Button(ButtonPress, 3, 10, 1, 2, ShiftMask));
  EXPECT_EQ(press->wParam, mouse_keys::kRightButton | mouse_keys::kShift);
  auto release =
      translator.translate(Button(ButtonRelease, 3, 20, 1, 2, Button3Mask | Button1Mask));
  EXPECT_EQ(release->wParam, mouse_keys::kLeftButton);
  EXPECT_EQ(std::pair(release->x, release->y), std::pair(1, 2));
}

TEST(X11MouseTranslatorTest, WheelButtonsAreSignedNotchesAtTheScreenPoint) {
  X11MouseTranslator translator;
  auto down = translator.translate(Button(ButtonPress, 5, 10, 30, 40));
  EXPECT_EQ(down->message, kMouseWheel);
  EXPECT_EQ(static_cast<int16_t>(down->wParam >> 16), -120);
  EXPECT_EQ(std::pair(down->x, down->y), std::pair(130, 90));  // on the screen
  auto right = translator.translate(Button(ButtonPress, 7, 10, 30, 40));
  EXPECT_EQ(right->message, kMouseHorizontalWheel);
  EXPECT_EQ(static_cast<int16_t>(right->wParam >> 16), 120);
  EXPECT_FALSE(translator.translate(Button(ButtonRelease, 5, 20, 30, 40)).has_value());
}

TEST(X11MouseTranslatorTest, BackAndForwardAreTheXButtons) {
  X11MouseTranslator translator;
  auto forward = translator.translate(Button(ButtonPress, 9, 10, 0, 0));
  EXPECT_EQ(forward->message, kXButtonDown);
  EXPECT_EQ(forward->wParam, (2u << 16) | mouse_keys::kXButton2);
  auto back = translator.translate(Button(ButtonRelease, 8, 20, 0, 0));
  EXPECT_EQ(back->message, kXButtonUp);
  EXPECT_EQ(back->wParam >> 16, 1u);
}

}  // namespace
}  // namespace tavrelle::linux_platform
