#include <gtest/gtest.h>

#include "platform/chromium/ChromiumInputRelay.h"

namespace tavrelle::chromium {
namespace {

using namespace mouse_message;

nlohmann::json Params(uint32_t kind, uint32_t keys, int32_t data, Point point, int clicks = 1,
                      double scale = 1.0) {
  return MouseEventParams(kind, keys, data, point, clicks, scale).value_or(nlohmann::json());
}

TEST(InputRelayTest, ButtonsBecomePressesAndReleasesOfTheirButton) {
  nlohmann::json press = Params(kRightButtonDown, mouse_keys::kRightButton, 0, {10, 20});
  EXPECT_EQ(press["type"], "mousePressed");
  EXPECT_EQ(press["button"], "right");
  EXPECT_EQ(press["buttons"], 2);
  EXPECT_EQ(press["clickCount"], 1);
  EXPECT_EQ(press["x"], 10.0);
  EXPECT_EQ(press["y"], 20.0);
  nlohmann::json release =
      Params(kMiddleButtonUp, mouse_keys::kShift | mouse_keys::kControl, 0, {1, 2});
  EXPECT_EQ(release["type"], "mouseReleased");
  EXPECT_EQ(release["button"], "middle");
  EXPECT_EQ(release["buttons"], 0);
  EXPECT_EQ(release["modifiers"], 10);
}

TEST(InputRelayTest, ADoubleClickIsASecondPress) {
  nlohmann::json press = Params(kLeftButtonDoubleClick, mouse_keys::kLeftButton, 0, {5, 5}, 2);
  EXPECT_EQ(press["type"], "mousePressed");
  EXPECT_EQ(press["clickCount"], 2);
}

TEST(InputRelayTest, XButtonsAreBackAndForward) {
  EXPECT_EQ(Params(kXButtonDown, mouse_keys::kXButton1, 1, {0, 0})["button"], "back");
  EXPECT_EQ(Params(kXButtonUp, 0, 2, {0, 0})["button"], "forward");
  EXPECT_EQ(Params(kXButtonDown, mouse_keys::kXButton2, 2, {0, 0})["buttons"], 16);
}

TEST(InputRelayTest, TheWheelTowardsTheUserScrollsDown) {
  nlohmann::json wheel = Params(kMouseWheel, 0, -120, {30, 40});
  EXPECT_EQ(wheel["type"], "mouseWheel");
  EXPECT_EQ(wheel["deltaY"], 100.0);
  EXPECT_EQ(wheel["deltaX"], 0.0);
  nlohmann::json tilt = Params(kMouseHorizontalWheel, 0, 240, {30, 40});
  EXPECT_EQ(tilt["deltaX"], 200.0);
  EXPECT_EQ(tilt["deltaY"], 0.0);
}

TEST(InputRelayTest, TheLeaveIsAMoveOutsideThePage) {
  nlohmann::json leave = Params(kMouseLeave, 0, 0, {0, 0});
  EXPECT_EQ(leave["type"], "mouseMoved");
  EXPECT_LT(leave["x"].get<double>(), 0);
  EXPECT_LT(leave["y"].get<double>(), 0);
}

TEST(InputRelayTest, PointsAreInCssPixels) {
  nlohmann::json move = Params(kMouseMove, 0, 0, {300, 150}, 1, 1.5);
  EXPECT_EQ(move["x"], 200.0);
  EXPECT_EQ(move["y"], 100.0);
}

TEST(InputRelayTest, NonClientMessagesHaveNoPageEvent) {
  EXPECT_FALSE(MouseEventParams(kNonClientRightButtonDown, 0, 0, {0, 0}, 1, 1.0).has_value());
  EXPECT_FALSE(MouseEventParams(0x0100, 0, 0, {0, 0}, 1, 1.0).has_value());
}

}  // namespace
}  // namespace tavrelle::chromium
