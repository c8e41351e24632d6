#include "platform/chromium/ChromiumInputRelay.h"

#include "platform/chromium/DevToolsClient.h"

namespace tavrelle::chromium {

namespace {

using namespace mouse_message;

// Input modifiers bits: Alt 1, Ctrl 2, Meta 4, Shift 8.
int ModifiersOf(uint32_t keys) {
  int modifiers = 0;
  if ((keys & mouse_keys::kControl) != 0) modifiers |= 2;
  if ((keys & mouse_keys::kShift) != 0) modifiers |= 8;
  return modifiers;
}

// Input buttons bits: left 1, right 2, middle 4, back 8, forward 16.
int ButtonsOf(uint32_t keys) {
  int buttons = 0;
  if ((keys & mouse_keys::kLeftButton) != 0) buttons |= 1;
  if ((keys & mouse_keys::kRightButton) != 0) buttons |= 2;
  if ((keys & mouse_keys::kMiddleButton) != 0) buttons |= 4;
  if ((keys & mouse_keys::kXButton1) != 0) buttons |= 8;
  if ((keys & mouse_keys::kXButton2) != 0) buttons |= 16;
  return buttons;
}

struct ButtonEvent {
  const char* type;
  const char* button;
  bool doubleClick;
};

std::optional<ButtonEvent> ButtonEventOf(uint32_t kind, int32_t mouseData) {
  const char* xButton = mouseData == 2 ? "forward" : "back";
  switch (kind) {
    case kLeftButtonDown:
      return ButtonEvent{"mousePressed", "left", false};
    case kLeftButtonDoubleClick:
      return ButtonEvent{"mousePressed", "left", true};
    case kLeftButtonUp:
      return ButtonEvent{"mouseReleased", "left", false};
    case kRightButtonDown:
      return ButtonEvent{"mousePressed", "right", false};
    case kRightButtonDoubleClick:
      return ButtonEvent{"mousePressed", "right", true};
    case kRightButtonUp:
      return ButtonEvent{"mouseReleased", "right", false};
    case kMiddleButtonDown:
      return ButtonEvent{"mousePressed", "middle", false};
    case kMiddleButtonDoubleClick:
      return ButtonEvent{"mousePressed", "middle", true};
    case kMiddleButtonUp:
      return ButtonEvent{"mouseReleased", "middle", false};
    case kXButtonDown:
      return ButtonEvent{"mousePressed", xButton, false};
    case kXButtonDoubleClick:
      return ButtonEvent{"mousePressed", xButton, true};
    case kXButtonUp:
      return ButtonEvent{"mouseReleased", xButton, false};
    default:
      return std::nullopt;
  }
}

nlohmann::json Located(const char* type, Point point, double scale) {
  return {{"type", type}, {"x", point.x / scale}, {"y", point.y / scale}};
}

}  // namespace

std::optional<nlohmann::json> MouseEventParams(uint32_t kind, uint32_t virtualKeys,
                                               int32_t mouseData, Point point, int clickCount,
                                               double scale) {
  nlohmann::json params;
  if (kind == kMouseMove) {
    params = Located("mouseMoved", point, scale);
    params["button"] = "none";
  } else if (kind == kMouseLeave) {
    // The protocol has no leave: a move outside the page makes it fire its leave events.
    params = Located("mouseMoved", Point{-1, -1}, 1.0);
    params["button"] = "none";
  } else if (kind == kMouseWheel || kind == kMouseHorizontalWheel) {
    const double pixels = mouseData * kWheelPixelsPerNotch / kWheelDelta;
    params = Located("mouseWheel", point, scale);
    // A positive delta turns the wheel away from the user: the page scrolls up.
    params["deltaX"] = kind == kMouseHorizontalWheel ? pixels : 0.0;
    params["deltaY"] = kind == kMouseWheel ? -pixels : 0.0;
  } else if (std::optional<ButtonEvent> button = ButtonEventOf(kind, mouseData)) {
    params = Located(button->type, point, scale);
    params["button"] = button->button;
    params["clickCount"] = clickCount;
  } else {
    return std::nullopt;
  }
  params["buttons"] = ButtonsOf(virtualKeys);
  params["modifiers"] = ModifiersOf(virtualKeys);
  return params;
}

void ChromiumInputRelay::sendMouse(uint32_t kind, uint32_t virtualKeys, int32_t mouseData,
                                   Point point, double scale) {
  if (std::optional<ButtonEvent> button = ButtonEventOf(kind, mouseData)) {
    // The release belongs to the press before it: a double-click's release counts 2.
    if (std::string(button->type) == "mousePressed") clickCount_ = button->doubleClick ? 2 : 1;
  }
  if (auto params = MouseEventParams(kind, virtualKeys, mouseData, point, clickCount_, scale)) {
    client_.send("Input.dispatchMouseEvent", std::move(*params), pageSessionId_);
  }
}

void ChromiumInputRelay::sendPointer(uint32_t kind, const PointerInfo& info, double scale) {
  if (info.kind == PointerInfo::Kind::Touch) {
    sendTouch(kind, info, scale);
  } else if (info.kind == PointerInfo::Kind::Pen) {
    sendPen(kind, info, scale);
  }
}

// Each touch event lists every contact still down, as the protocol asks.
void ChromiumInputRelay::sendTouch(uint32_t kind, const PointerInfo& info, double scale) {
  const char* type = nullptr;
  nlohmann::json point = {{"x", info.pixelLocation.x / scale},
                          {"y", info.pixelLocation.y / scale},
                          {"id", info.pointerId},
                          {"force", info.pressure / 1024.0}};
  if ((info.pointerFlags & pointer_flags::kCanceled) != 0) {
    activeTouches_.clear();
    type = "touchCancel";
  } else if (kind == pointer_message::kDown) {
    activeTouches_[info.pointerId] = point;
    type = "touchStart";
  } else if (kind == pointer_message::kUpdate && activeTouches_.contains(info.pointerId)) {
    activeTouches_[info.pointerId] = point;
    type = "touchMove";
  } else if (kind == pointer_message::kUp && activeTouches_.erase(info.pointerId) > 0) {
    type = "touchEnd";
  } else {
    return;
  }
  nlohmann::json points = nlohmann::json::array();
  for (const auto& [id, active] : activeTouches_) points.push_back(active);
  client_.send("Input.dispatchTouchEvent", {{"type", type}, {"touchPoints", points}},
               pageSessionId_);
}

void ChromiumInputRelay::sendPen(uint32_t kind, const PointerInfo& info, double scale) {
  const bool inContact = (info.pointerFlags & pointer_flags::kInContact) != 0;
  const char* type = nullptr;
  if (kind == pointer_message::kDown) {
    type = "mousePressed";
  } else if (kind == pointer_message::kUp) {
    type = "mouseReleased";
  } else if (kind == pointer_message::kUpdate) {
    type = "mouseMoved";
  } else {
    return;
  }
  nlohmann::json params = Located(type, info.pixelLocation, scale);
  params["pointerType"] = "pen";
  params["button"] = kind == pointer_message::kUpdate ? "none" : "left";
  params["buttons"] = inContact ? 1 : 0;
  params["clickCount"] = 1;
  params["force"] = info.pressure / 1024.0;
  params["tiltX"] = info.tiltX;
  params["tiltY"] = info.tiltY;
  params["twist"] = info.rotation;
  client_.send("Input.dispatchMouseEvent", std::move(params), pageSessionId_);
}

}  // namespace tavrelle::chromium
