#include "messaging/PointerLock.h"

#include <charconv>
#include <optional>
#include <string>

#include "common/JsonReaders.h"
#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"
#include "messaging/PagePoster.h"
#include "messaging/PointerLockGeometry.h"
#include "platform/MainWindow.h"

namespace tavrelle {

namespace {

constexpr const char* kResponseType = "set-pointer-lock-enabled-response";

std::string EnabledResponse(bool enabled) {
  return host_messages::ToCompactJson(
      {{"type", kResponseType}, {"isOk", true}, {"isEnabled", enabled}});
}

std::string FailureResponse(uint32_t error) {
  return host_messages::ToCompactJson({{"type", kResponseType}, {"isOk", false}, {"error", error}});
}

void AppendInteger(std::string& text, int32_t value) {
  char digits[12];
  auto [end, failed] = std::to_chars(digits, digits + sizeof digits, value);
  static_cast<void>(failed);  // twelve characters hold every 32-bit value
  text.append(digits, end);
}

// Differences wrap as 32-bit signed integers do on the platforms the values come from.
int32_t WrappingDifference(int32_t a, int32_t b) {
  return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

}  // namespace

PointerLock::PointerLock(MainWindow& window, PagePoster& page) : window_(window), page_(page) {}

void PointerLock::AddHandlersTo(MessageChannel& channel) {
  channel.addHandler(host_messages::kSetPointerLockEnabled,
                     [this](const nlohmann::json& message, const std::string&) {
                       SetEnabled(GetBoolOr(message, "isEnabled", false));
                     });
}

// A failed registration keeps the requested state although nothing else changed, so
// that repeating the request stays silent and the opposite one is carried out.
void PointerLock::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (enabled) {
    awaitingFirstAbsolute_ = true;
    lastAbsoluteX_ = 0;
    lastAbsoluteY_ = 0;
  }
  PointerInput& input = window_.pointerInput();
  if (const uint32_t error = input.registerRawMouse(enabled); error != 0) {
    page_.PostJsonToPage(FailureResponse(error));
    return;
  }
  if (enabled) {
    ClipAndCentre();
    window_.setTimer(kPointerLockTimerId, kPointerLockTimerPeriodMs);
    input.showCursor(false);
  } else {
    window_.killTimer(kPointerLockTimerId);
    input.clipCursor(std::nullopt);
    input.showCursor(true);
  }
  page_.PostJsonToPage(EnabledResponse(enabled));
}

void PointerLock::OnTimer() { ClipAndCentre(); }

void PointerLock::ClipAndCentre() {
  const Rect outer = window_.windowRect();
  PointerInput& input = window_.pointerInput();
  input.clipCursor(outer);
  const Point centre = CentreOf(outer);
  input.setCursorPos(centre.x, centre.y);
}

void PointerLock::OnRawInput(const RawMouseSample& sample) {
  if (sample.absolute) {
    PointerInput& input = window_.pointerInput();
    const Rect area = sample.virtualDesktop ? input.virtualDesktop() : input.primaryScreen();
    const Point position = MapAbsoluteSample(sample, area);
    if (awaitingFirstAbsolute_) {
      awaitingFirstAbsolute_ = false;
    } else {
      SendMovement(WrappingDifference(position.x, lastAbsoluteX_),
                   WrappingDifference(position.y, lastAbsoluteY_));
    }
    lastAbsoluteX_ = position.x;
    lastAbsoluteY_ = position.y;
    return;
  }
  if (sample.x == 0 && sample.y == 0) return;
  SendMovement(sample.x, sample.y);
}

// Built by hand: the raw path allocates nothing but the message itself.
void PointerLock::SendMovement(int32_t dx, int32_t dy) {
  std::string message;
  message.reserve(80);
  message.append(R"({"movementX":)");
  AppendInteger(message, dx);
  message.append(R"(,"movementY":)");
  AppendInteger(message, dy);
  message.append(R"(,"type":"pointer-lock-movement"})");
  page_.PostJsonToPage(message);
}

}  // namespace tavrelle
