#include "visual/CompositionInput.h"

#include <gtest/gtest.h>

#include "visual/VisualFakes.h"

namespace tavrelle::test {
namespace {

using namespace mouse_message;

class CompositionInputTest : public ::testing::Test {
 protected:
  bool handle(uint32_t message, uint32_t wParam, int32_t x, int32_t y) {
    return input_.HandleMouseMessage(MouseMessage{message, wParam, x, y});
  }

  FakePointer window_;
  FakeCompositionController target_;
  CompositionInput input_{window_, target_};
};

TEST_F(CompositionInputTest, MessagesOutsideTheMouseTableAreLeftAlone) {
  EXPECT_FALSE(handle(0x0100, 0, 10, 10));  // a key
  EXPECT_TRUE(target_.mouse.empty());
  EXPECT_TRUE(window_.leaveTracking.empty());
  // A press outside without capture is not the page's either.
  EXPECT_FALSE(handle(kRightButtonDown, mouse_keys::kRightButton, -3, 40));
  EXPECT_FALSE(window_.captured);
  EXPECT_TRUE(target_.mouse.empty());
}

TEST_F(CompositionInputTest, LeaveTrackingStartsOnceAndAgainOnlyAfterTheLeave) {
  EXPECT_TRUE(handle(kMouseMove, 0, 10, 20));
  EXPECT_TRUE(handle(kMouseMove, 0, 11, 21));
  EXPECT_EQ(window_.leaveTracking, std::vector<bool>{true});

  EXPECT_TRUE(handle(kMouseLeave, 0, 0, 0));
  EXPECT_FALSE(input_.trackingMouseLeave());
  EXPECT_TRUE(handle(kMouseMove, 0, 12, 22));
  EXPECT_EQ(window_.leaveTracking, (std::vector<bool>{true, true}));
  ASSERT_EQ(target_.mouse.size(), 4u);
}

TEST_F(CompositionInputTest, PointsAreRelativeToTheClientOriginButTheLeaveIsAtZero) {
  window_.client = Rect{5, 7, 805, 607};
  EXPECT_TRUE(handle(kMouseMove, mouse_keys::kShift, 25, 17));
  EXPECT_EQ(target_.mouse.back(),
            (SentMouseInput{kMouseMove, mouse_keys::kShift, 0, Point{20, 10}}));
  EXPECT_TRUE(handle(kMouseLeave, 0, 40, 40));
  EXPECT_EQ(target_.mouse.back(), (SentMouseInput{kMouseLeave, 0, 0, Point{0, 0}}));
}

TEST_F(CompositionInputTest, APressInsideKeepsTheMouseUntilItsReleaseOutside) {
  EXPECT_TRUE(handle(kLeftButtonDown, mouse_keys::kLeftButton, 100, 100));
  EXPECT_TRUE(window_.captured);
  EXPECT_TRUE(input_.mouseCaptured());
  EXPECT_TRUE(handle(kMouseMove, mouse_keys::kLeftButton, 900, 700));
  EXPECT_TRUE(handle(kLeftButtonUp, 0, 950, -20));
  EXPECT_FALSE(window_.captured);
  EXPECT_FALSE(input_.mouseCaptured());
  ASSERT_EQ(target_.mouse.size(), 3u);
  EXPECT_EQ(target_.mouse[1].point, (Point{900, 700}));
  EXPECT_EQ(target_.mouse[2], (SentMouseInput{kLeftButtonUp, 0, 0, Point{950, -20}}));
  // With the capture gone, the pointer outside reaches the page no more.
  EXPECT_TRUE(handle(kMouseMove, 0, 900, 700));  // the synthetic leave
  EXPECT_EQ(target_.mouse.back().kind, kMouseLeave);
  EXPECT_FALSE(handle(kMouseMove, 0, 901, 700));
}

TEST_F(CompositionInputTest, AMoveOutsideWhileTrackingSendsTheLeaveAndCancelsTracking) {
  EXPECT_TRUE(handle(kMouseMove, 0, 10, 10));
  EXPECT_TRUE(handle(kMouseMove, 0, 810, 10));
  EXPECT_EQ(window_.leaveTracking, (std::vector<bool>{true, false}));
  ASSERT_EQ(target_.mouse.size(), 2u);
  EXPECT_EQ(target_.mouse[1], (SentMouseInput{kMouseLeave, 0, 0, Point{0, 0}}));
}

TEST_F(CompositionInputTest, TheWheelPointIsConvertedFromTheScreenAndItsDeltaKeepsItsSign) {
  const uint32_t oneNotchTowardsTheUser = static_cast<uint32_t>(static_cast<uint16_t>(-120)) << 16;
  EXPECT_TRUE(handle(kMouseWheel, oneNotchTowardsTheUser | mouse_keys::kControl, 300, 250));
  ASSERT_EQ(target_.mouse.size(), 1u);
  EXPECT_EQ(target_.mouse[0],
            (SentMouseInput{kMouseWheel, mouse_keys::kControl, -120, Point{200, 200}}));
  // A screen point beside the window is outside.
  EXPECT_FALSE(handle(kMouseHorizontalWheel, 120u << 16, 50, 250));
}

// The second x button sends two; double clicks do not touch the capture.
TEST_F(CompositionInputTest, XButtonNumberAndDoubleClicks) {
  EXPECT_TRUE(handle(kLeftButtonDoubleClick, mouse_keys::kLeftButton, 5, 5));
  EXPECT_FALSE(window_.captured);
  EXPECT_EQ(target_.mouse.back().kind, kLeftButtonDoubleClick);
  EXPECT_TRUE(handle(kXButtonDown, (2u << 16) | mouse_keys::kXButton2, 5, 5));
  EXPECT_EQ(target_.mouse.back(),
            (SentMouseInput{kXButtonDown, mouse_keys::kXButton2, 2, Point{5, 5}}));
  EXPECT_TRUE(window_.captured);
}

TEST_F(CompositionInputTest, OnlyTheSixPointerMessagesAreForwarded) {
  PointerInfo info;
  for (uint32_t message = 0x0240; message <= 0x0250; ++message) {
    input_.ForwardPointerMessage(message, info);
  }
  EXPECT_EQ(target_.pointer,
            (std::vector<uint32_t>{0x0245, 0x0246, 0x0247, 0x0249, 0x024A, 0x024B}));
}

}  // namespace
}  // namespace tavrelle::test
