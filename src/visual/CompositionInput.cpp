#include "visual/CompositionInput.h"

namespace tavrelle {

namespace {

using namespace mouse_message;

bool IsForwardedMouseMessage(uint32_t message) {
  return (message >= kMouseMove && message <= kMouseHorizontalWheel) || message == kMouseLeave ||
         message == kNonClientRightButtonDown || message == kNonClientRightButtonUp;
}

// The wheels and the non-client messages carry screen coordinates.
bool HasScreenPoint(uint32_t message) {
  return message == kMouseWheel || message == kMouseHorizontalWheel ||
         message == kNonClientRightButtonDown || message == kNonClientRightButtonUp;
}

bool IsButtonDown(uint32_t message) {
  return message == kLeftButtonDown || message == kRightButtonDown ||
         message == kMiddleButtonDown || message == kXButtonDown;
}

bool IsButtonUp(uint32_t message) {
  return message == kLeftButtonUp || message == kRightButtonUp || message == kMiddleButtonUp ||
         message == kXButtonUp;
}

int32_t MouseData(uint32_t message, uint32_t wParam) {
  const auto high = static_cast<uint16_t>(wParam >> 16);
  if (message == kMouseWheel || message == kMouseHorizontalWheel) {
    return static_cast<int16_t>(high);
  }
  if (message == kXButtonDown || message == kXButtonUp || message == kXButtonDoubleClick) {
    return high;
  }
  return 0;
}

bool Contains(const Rect& rect, Point point) {
  return point.x >= rect.left && point.x < rect.right && point.y >= rect.top &&
         point.y < rect.bottom;
}

}  // namespace

bool CompositionInput::HandleMouseMessage(const MouseMessage& message) {
  const uint32_t kind = message.message;
  if (!IsForwardedMouseMessage(kind)) return false;
  const Rect client = window_.clientRect();
  Point point{message.x, message.y};
  if (HasScreenPoint(kind)) point = window_.screenToClient(point);
  const bool inside = Contains(client, point);

  if (!inside && kind != kMouseLeave && !mouseCaptured_) {
    if (kind == kMouseMove && trackingMouseLeave_) {
      // Left without the system noticing: the web view hears of it now.
      trackingMouseLeave_ = false;
      window_.trackMouseLeave(false);
      return HandleMouseMessage(MouseMessage{kMouseLeave, 0, 0, 0});
    }
    return false;
  }

  const int32_t mouseData = MouseData(kind, message.wParam);
  if (kind == kMouseMove && !trackingMouseLeave_) {
    window_.trackMouseLeave(true);
    trackingMouseLeave_ = true;
  } else if (kind == kMouseLeave) {
    trackingMouseLeave_ = false;
  }
  UpdateCapture(kind, inside);

  if (kind == kMouseLeave) {
    point = Point{0, 0};
  } else {
    point.x -= client.left;
    point.y -= client.top;
  }
  target_.SendMouseInput(kind, message.wParam & 0xFFFF, mouseData, point);
  return true;
}

void CompositionInput::UpdateCapture(uint32_t message, bool inside) {
  if (IsButtonDown(message)) {
    if (inside && !window_.hasCapture()) {
      mouseCaptured_ = true;
      window_.setCapture();
    }
  } else if (IsButtonUp(message)) {
    if (window_.hasCapture()) {
      mouseCaptured_ = false;
      window_.releaseCapture();
    }
  }
}

void CompositionInput::ForwardPointerMessage(uint32_t message, const PointerInfo& info) {
  using namespace pointer_message;
  switch (message) {
    case kUpdate:
    case kDown:
    case kUp:
    case kEnter:
    case kLeave:
    case kActivate:
      target_.SendPointerInput(message, info);
      return;
    default:
      return;
  }
}

}  // namespace tavrelle
