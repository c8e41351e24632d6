#include <gtest/gtest.h>

#include "platform/chromium/ChromiumInputRelay.h"

namespace tavrelle::chromium {
namespace {

using namespace mouse_message;
using Json = nlohmann::json;

Json Params(uint32_t kind, uint32_t keys, int32_t data, Point point, int clicks = 1,
            double scale = 1.0) {
  return MouseEventParams(kind, keys, data, point, clicks, scale).value_or(Json());
}

TEST(InputRelayTest, MouseMessagesBecomePageEvents) {
  struct Case {
    const char* name;
    Json event, expected;
  };
  const std::vector<Case> cases = {
      {"press of its button", Params(kRightButtonDown, mouse_keys::kRightButton, 0, {10, 20}),
       Json::parse(
           R"({"type": "mousePressed", "button": "right", "buttons": 2, "clickCount": 1, "x": 10.0,
                "y": 20.0})")},
      {"release with modifiers",
       Params(kMiddleButtonUp, mouse_keys::kShift | mouse_keys::kControl, 0, {1, 2}),
       {{"type", "mouseReleased"}, {"button", "middle"}, {"buttons", 0}, {"modifiers", 10}}},
      {"double click is a second press",
       Params(kLeftButtonDoubleClick, mouse_keys::kLeftButton, 0, {5, 5}, 2),
       {{"type", "mousePressed"}, {"clickCount", 2}}},
      {"first x button",
       Params(kXButtonDown, mouse_keys::kXButton1, 1, {0, 0}),
       {{"button", "back"}}},
      {"second x button released",
       Params(kXButtonUp, 0, 2, {0, 0}),
       {{"type", "mouseReleased"}, {"button", "forward"}}},
      {"wheel towards the user scrolls down",
       Params(kMouseWheel, 0, -120, {30, 40}),
       {{"type", "mouseWheel"}, {"deltaY", 100.0}, {"deltaX", 0.0}}},
      {"tilt",
       Params(kMouseHorizontalWheel, 0, 240, {30, 40}),
       {{"deltaX", 200.0}, {"deltaY", 0.0}}},
      {"css pixels", Params(kMouseMove, 0, 0, {300, 150}, 1, 1.5), {{"x", 200.0}, {"y", 100.0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [key, value] : c.expected.items()) EXPECT_EQ(c.event[key], value) << key;
  }
  Json leave = Params(kMouseLeave, 0, 0, {0, 0});  // a move outside the page
  EXPECT_EQ(leave["type"], "mouseMoved");
  EXPECT_LT(leave["x"].get<double>(), 0);
  EXPECT_LT(leave["y"].get<double>(), 0);
  EXPECT_FALSE(MouseEventParams(kNonClientRightButtonDown, 0, 0, {0, 0}, 1, 1.0).has_value());
}

}  // namespace
}  // namespace tavrelle::chromium
