#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/MouseInput.h"

namespace tavrelle::chromium {

class DevToolsClient;

// The wheel distance of one notch, in CSS pixels, as the browser scrolls elsewhere.
inline constexpr double kWheelPixelsPerNotch = 100.0;

// The params of Input.dispatchMouseEvent for one relayed mouse message; nothing for a
// message the page has no event for (the non-client ones). clickCount: of the press the
// message belongs to. scale: the page's device pixel ratio.
[[nodiscard]] std::optional<nlohmann::json> MouseEventParams(uint32_t kind, uint32_t virtualKeys,
                                                             int32_t mouseData, Point point,
                                                             int clickCount, double scale);

// Relays mouse, touch and pen input to the page through the DevTools Input domain, on
// the page's session. Commands go out without waiting for their replies.
class ChromiumInputRelay {
 public:
  ChromiumInputRelay(DevToolsClient& client, std::string pageSessionId)
      : client_(client), pageSessionId_(std::move(pageSessionId)) {}

  void sendMouse(uint32_t kind, uint32_t virtualKeys, int32_t mouseData, Point point, double scale);
  void sendPointer(uint32_t kind, const PointerInfo& info, double scale);

 private:
  void sendTouch(uint32_t kind, const PointerInfo& info, double scale);
  void sendPen(uint32_t kind, const PointerInfo& info, double scale);

  DevToolsClient& client_;
  std::string pageSessionId_;
  int clickCount_ = 1;
  std::map<uint32_t, nlohmann::json> activeTouches_;
};

}  // namespace tavrelle::chromium
