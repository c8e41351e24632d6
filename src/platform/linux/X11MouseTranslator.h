#pragma once

#include <X11/Xlib.h>

#include <optional>

#include "platform/MouseInput.h"

namespace tavrelle::linux_platform {

// Turns the main window's X pointer events into mouse messages. Presses of the same
// button close together in time and place become double-clicks, as on other desktops.
class X11MouseTranslator {
 public:
  static constexpr Time kDoubleClickTime = 500;   // ms
  static constexpr int kDoubleClickDistance = 4;  // pixels, either way

  // The message for a ButtonPress, ButtonRelease or MotionNotify; nothing for other
  // events and for the release of a wheel button.
  std::optional<MouseMessage> translate(const XEvent& event);

 private:
  std::optional<MouseMessage> press(const XButtonEvent& button);
  std::optional<MouseMessage> release(const XButtonEvent& button);
  bool isDoubleClick(const XButtonEvent& button) const;

  unsigned int lastButton_ = 0;
  Time lastPressTime_ = 0;
  int lastX_ = 0;
  int lastY_ = 0;
  bool lastWasDoubleClick_ = false;
};

// The key and button bits of a mouse message from an X modifier state.
[[nodiscard]] uint32_t MouseKeysFromState(unsigned int state);

}  // namespace tavrelle::linux_platform
