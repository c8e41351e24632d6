#pragma once

#include <cstdint>

#include "platform/MouseInput.h"
#include "platform/WindowPointer.h"
#include "webview/CompositionController.h"

namespace tavrelle {

// Relays the main window's mouse and pointer messages to a web view that has no window
// of its own, holding the mouse capture and the leave tracking of the window on the web
// view's behalf. Main thread only.
class CompositionInput {
 public:
  CompositionInput(WindowPointer& window, webview::CompositionController& target)
      : window_(window), target_(target) {}

  // True when the message was a mouse message and went to the web view.
  bool HandleMouseMessage(const MouseMessage& message);
  // Forwards the six pointer messages a web view takes; ignores every other.
  void ForwardPointerMessage(uint32_t message, const PointerInfo& info);

  [[nodiscard]] bool mouseCaptured() const { return mouseCaptured_; }
  [[nodiscard]] bool trackingMouseLeave() const { return trackingMouseLeave_; }

 private:
  void UpdateCapture(uint32_t message, bool inside);

  WindowPointer& window_;
  webview::CompositionController& target_;
  bool mouseCaptured_ = false;
  bool trackingMouseLeave_ = false;
};

}  // namespace tavrelle
