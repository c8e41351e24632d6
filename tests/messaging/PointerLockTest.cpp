#include "messaging/PointerLock.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "messaging/PagePoster.h"
#include "support/CallLog.h"
#include "support/FakeWindowSystem.h"

namespace tavrelle {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kEnabled =
    R"({"isEnabled":true,"isOk":true,"type":"set-pointer-lock-enabled-response"})";
constexpr const char* kDisabled =
    R"({"isEnabled":false,"isOk":true,"type":"set-pointer-lock-enabled-response"})";

class RecordingPage final : public PagePoster {
 public:
  void PostJsonToPage(const std::string& json) override { posted.push_back(json); }
  void PostMessageToPage(const std::string& json) override { queued.push_back(json); }
  Strings posted;
  Strings queued;
};

const Strings kUnlockCalls = {"input.registerRawMouse(false)", "window.killTimer(1000)",
                              "input.clipCursor(none)", "input.showCursor(true)"};

std::string Movement(int dx, int dy) {
  return R"({"movementX":)" + std::to_string(dx) + R"(,"movementY":)" + std::to_string(dy) +
         R"(,"type":"pointer-lock-movement"})";
}

RawMouseSample Relative(int32_t dx, int32_t dy) { return RawMouseSample{.x = dx, .y = dy}; }

// A window whose outer rectangle is (100, 50)-(901, 651).
class PointerLockTest : public ::testing::Test {
 protected:
  test::FakePointerInput& input() { return window_.input; }

  std::shared_ptr<test::CallLog> log_ = std::make_shared<test::CallLog>();
  test::FakeMainWindow window_{test::WindowOfOuterSize(801, 601, window_style::kOverlappedWindow),
                               [](const WindowEvent&) { return WindowProcResult::Default; }, log_};
  RecordingPage page_;
  PointerLock lock_{window_, page_};
};

TEST_F(PointerLockTest, EnablingAndDisablingEachActOnceAndAnswer) {
  lock_.SetEnabled(false);  // not enabled: nothing at all
  EXPECT_TRUE(log_->entries().empty());
  EXPECT_TRUE(page_.posted.empty());
  lock_.SetEnabled(true);
  lock_.SetEnabled(true);
  EXPECT_EQ(log_->entries(),
            (Strings{"input.registerRawMouse(true)", "input.clipCursor(100,50,901,651)",
                     "input.setCursorPos(500,350)", "window.setTimer(1000,10)",
                     "input.showCursor(false)"}));
  log_->clear();
  lock_.SetEnabled(false);
  lock_.SetEnabled(false);
  EXPECT_EQ(log_->entries(), kUnlockCalls);
  EXPECT_EQ(page_.posted, (Strings{kEnabled, kDisabled}));
  EXPECT_TRUE(page_.queued.empty());
}

TEST_F(PointerLockTest, TimerFollowsTheWindowAndSendsNothing) {
  lock_.SetEnabled(true);
  page_.posted.clear();
  log_->clear();
  window_.setState(window_.style(), Rect{-300, 20, 500, 621});  // moved by the user
  lock_.OnTimer();
  EXPECT_EQ(log_->entries(),
            (Strings{"input.clipCursor(-300,20,500,621)", "input.setCursorPos(100,320)"}));
  EXPECT_TRUE(page_.posted.empty());
}

TEST_F(PointerLockTest, EveryRelativeSampleThatMovesIsOneMessage) {
  lock_.SetEnabled(true);
  page_.posted.clear();
  lock_.OnRawInput(Relative(3, -2));
  lock_.OnRawInput(Relative(0, 0));  // buttons or wheel only
  lock_.OnRawInput(Relative(-2147483647 - 1, 2147483647));
  EXPECT_EQ(page_.posted, (Strings{Movement(3, -2), Movement(-2147483647 - 1, 2147483647)}));
}

TEST_F(PointerLockTest, AbsoluteSamplesSendTheirDifferenceAfterTheFirst) {
  lock_.SetEnabled(true);
  page_.posted.clear();
  RawMouseSample at{.absolute = true, .x = 32768, .y = 0};
  lock_.OnRawInput(at);  // the first after enabling only sets the start
  EXPECT_TRUE(page_.posted.empty());
  at.x = 65535;
  at.y = 65535;
  lock_.OnRawInput(at);  // on the primary screen: (960, 0) to (1920, 1080)
  at.virtualDesktop = true;
  at.x = 0;
  at.y = 0;
  lock_.OnRawInput(at);  // the desktop starts at -1280
  EXPECT_EQ(page_.posted, (Strings{Movement(960, 1080), Movement(-3200, -1080)}));
}

TEST_F(PointerLockTest, FailedRegistrationChangesNothingButTheRequestedState) {
  input().registrationError = 1;
  lock_.SetEnabled(true);
  EXPECT_EQ(log_->entries(), Strings{"input.registerRawMouse(true)"});
  EXPECT_EQ(page_.posted,
            Strings{R"({"error":1,"isOk":false,"type":"set-pointer-lock-enabled-response"})"});
  lock_.SetEnabled(true);  // the state asked for stands, so this is ignored
  EXPECT_EQ(page_.posted.size(), 1u);
  input().registrationError = 0;
  log_->clear();
  lock_.SetEnabled(false);
  EXPECT_EQ(log_->entries(), kUnlockCalls);
  EXPECT_EQ(page_.posted.back(), kDisabled);
}

}  // namespace
}  // namespace tavrelle
