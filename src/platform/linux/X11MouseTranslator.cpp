#include "platform/linux/X11MouseTranslator.h"

#include <cstdlib>

namespace tavrelle::linux_platform {

namespace {

using namespace mouse_message;

// X core buttons: 1 left, 2 middle, 3 right, 4/5 wheel up/down, 6/7 wheel left/right,
// 8/9 back/forward (the first and second X buttons).
constexpr unsigned int kWheelUp = 4;
constexpr unsigned int kWheelDown = 5;
constexpr unsigned int kWheelLeft = 6;
constexpr unsigned int kWheelRight = 7;
constexpr unsigned int kBack = 8;
constexpr unsigned int kForward = 9;

uint32_t ButtonBit(unsigned int button) {
  switch (button) {
    case Button1:
      return mouse_keys::kLeftButton;
    case Button2:
      return mouse_keys::kMiddleButton;
    case Button3:
      return mouse_keys::kRightButton;
    case kBack:
      return mouse_keys::kXButton1;
    case kForward:
      return mouse_keys::kXButton2;
    default:
      return 0;
  }
}

struct ButtonMessages {
  uint32_t down;
  uint32_t up;
  uint32_t doubleClick;
  uint32_t xButton;  // the X button number carried in the high word, 0 for the others
};

std::optional<ButtonMessages> MessagesOf(unsigned int button) {
  switch (button) {
    case Button1:
      return ButtonMessages{kLeftButtonDown, kLeftButtonUp, kLeftButtonDoubleClick, 0};
    case Button2:
      return ButtonMessages{kMiddleButtonDown, kMiddleButtonUp, kMiddleButtonDoubleClick, 0};
    case Button3:
      return ButtonMessages{kRightButtonDown, kRightButtonUp, kRightButtonDoubleClick, 0};
    case kBack:
      return ButtonMessages{kXButtonDown, kXButtonUp, kXButtonDoubleClick, 1};
    case kForward:
      return ButtonMessages{kXButtonDown, kXButtonUp, kXButtonDoubleClick, 2};
    default:
      return std::nullopt;
  }
}

uint32_t WithHighWord(uint32_t keys, uint32_t high) { return (keys & 0xFFFF) | (high << 16); }

MouseMessage Wheel(const XButtonEvent& button, uint32_t message, int32_t delta) {
  const uint32_t keys = MouseKeysFromState(button.state);
  return MouseMessage{message, WithHighWord(keys, static_cast<uint16_t>(delta)), button.x_root,
                      button.y_root};
}

}  // namespace

uint32_t MouseKeysFromState(unsigned int state) {
  uint32_t keys = 0;
  if ((state & Button1Mask) != 0) keys |= mouse_keys::kLeftButton;
  if ((state & Button2Mask) != 0) keys |= mouse_keys::kMiddleButton;
  if ((state & Button3Mask) != 0) keys |= mouse_keys::kRightButton;
  if ((state & ShiftMask) != 0) keys |= mouse_keys::kShift;
  if ((state & ControlMask) != 0) keys |= mouse_keys::kControl;
  return keys;
}

std::optional<MouseMessage> X11MouseTranslator::translate(const XEvent& event) {
  switch (event.type) {
    case ButtonPress:
      return press(event.xbutton);
    case ButtonRelease:
      return release(event.xbutton);
    case MotionNotify: {
      const XMotionEvent& motion = event.xmotion;
      return MouseMessage{kMouseMove, MouseKeysFromState(motion.state), motion.x, motion.y};
    }
    default:
      return std::nullopt;
  }
}

std::optional<MouseMessage> X11MouseTranslator::press(const XButtonEvent& button) {
  switch (button.button) {
    case kWheelUp:
      return Wheel(button, kMouseWheel, kWheelDelta);
    case kWheelDown:
      return Wheel(button, kMouseWheel, -kWheelDelta);
    case kWheelLeft:
      return Wheel(button, kMouseHorizontalWheel, -kWheelDelta);
    case kWheelRight:
      return Wheel(button, kMouseHorizontalWheel, kWheelDelta);
    default:
      break;
  }
  std::optional<ButtonMessages> messages = MessagesOf(button.button);
  if (!messages) return std::nullopt;
  // The state is from before the press: the pressed button counts as down.
  const uint32_t keys = MouseKeysFromState(button.state) | ButtonBit(button.button);
  const bool doubleClick = isDoubleClick(button);
  lastWasDoubleClick_ = doubleClick;
  lastButton_ = button.button;
  lastPressTime_ = button.time;
  lastX_ = button.x;
  lastY_ = button.y;
  return MouseMessage{doubleClick ? messages->doubleClick : messages->down,
                      WithHighWord(keys, messages->xButton), button.x, button.y};
}

std::optional<MouseMessage> X11MouseTranslator::release(const XButtonEvent& button) {
  std::optional<ButtonMessages> messages = MessagesOf(button.button);
  if (!messages) return std::nullopt;
  const uint32_t keys = MouseKeysFromState(button.state) & ~ButtonBit(button.button);
  return MouseMessage{messages->up, WithHighWord(keys, messages->xButton), button.x, button.y};
}

// A third press after a double-click starts over, as a single press.
bool X11MouseTranslator::isDoubleClick(const XButtonEvent& button) const {
  return !lastWasDoubleClick_ && button.button == lastButton_ &&
         button.time - lastPressTime_ <= kDoubleClickTime &&
         std::abs(button.x - lastX_) <= kDoubleClickDistance &&
         std::abs(button.y - lastY_) <= kDoubleClickDistance;
}

}  // namespace tavrelle::linux_platform
