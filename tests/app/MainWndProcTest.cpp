#include "app/MainWndProc.h"

#include <gtest/gtest.h>

#include "app/CurrentWebViewHost.h"
#include "support/FakeEventLoop.h"
#include "support/WebViewHostHarness.h"

namespace tavrelle {
namespace {

using Kind = WindowEvent::Kind;
using enum WindowProcResult;

class MainWndProcTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentWebViewHost(nullptr); }
  // The host exists and is current; its controller exists only when created is true.
  void hostIsCurrent(bool created = true) {
    created ? harness.createAndComplete() : harness.create();
    SetCurrentWebViewHost(&harness.host());
    harness.log->clear();
  }
  WindowProcResult deliver(WindowEvent event) { return MainWndProc(event, loop); }
  // Every event but Close and Destroy, with the result expected whatever the host's state.
  void expectEveryEventSafe() {
    EXPECT_EQ(deliver({.kind = Kind::Size, .sizeType = SizeType::Maximized}), Handled);
    EXPECT_EQ(deliver({.kind = Kind::Move}), Handled);
    EXPECT_EQ(deliver({.kind = Kind::SetFocus}), Default);
    EXPECT_EQ(deliver({.kind = Kind::Timer, .timerId = 7}), Handled);
  }

  test::WebViewHostHarness harness;
  test::FakeEventLoop loop;
};

TEST_F(MainWndProcTest, WithoutAHostOrControllerNothingReachesTheWebView) {
  expectEveryEventSafe();
  hostIsCurrent(false);
  expectEveryEventSafe();
  EXPECT_TRUE(harness.log->entries().empty());
  EXPECT_TRUE(loop.quitCodes.empty());
}

TEST_F(MainWndProcTest, CloseIsLeftToTheDefaultAndDestroyEndsTheLoopWithZero) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::Close}), Default);
  EXPECT_TRUE(loop.quitCodes.empty());
  EXPECT_EQ(deliver({.kind = Kind::Destroy}), Handled);
  EXPECT_EQ(loop.quitCodes, std::vector<int>{0});
}

TEST_F(MainWndProcTest, SizeSetsTheBoundsThenNotifiesThePageOfEveryStateChange) {
  hostIsCurrent();
  harness.window().setClientRect({0, 0, 1280, 720});
  deliver({.kind = Kind::Size, .sizeType = SizeType::Restored});
  EXPECT_EQ(harness.controller().bounds.back(), (Rect{0, 0, 1280, 720}));
  EXPECT_TRUE(harness.posted().empty());
  deliver({.kind = Kind::Size, .sizeType = SizeType::Maximized});
  deliver({.kind = Kind::Size, .sizeType = SizeType::Maximized});
  deliver({.kind = Kind::Size, .sizeType = SizeType::Minimized});
  EXPECT_EQ(harness.posted(), (std::vector<std::string>{R"({"type":"window-maximized"})",
                                                        R"({"type":"window-maximized"})",
                                                        R"({"type":"window-minimized"})"}));
  EXPECT_LT(harness.log->indexOf("controller.put_Bounds"),
            harness.log->indexOf("webView.PostWebMessageAsJson"));
}

TEST_F(MainWndProcTest, MoveTellsTheControllerAndFocusGoesIntoThePage) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::Move}), Handled);
  EXPECT_EQ(harness.controller().positionNotices, 1);
  harness.log->clear();
  EXPECT_EQ(deliver({.kind = Kind::SetFocus}), Default);
  EXPECT_EQ(harness.log->entries(), std::vector<std::string>{"controller.MoveFocus"});
}

// Raw input and the lock timer reaching pointer lock are proven end to end.
TEST_F(MainWndProcTest, PointerLockRequestWithoutABooleanCountsAsFalse) {
  hostIsCurrent();
  harness.host().HandleWebMessage(R"({"type":"set-pointer-lock-enabled","isEnabled":true})");
  harness.host().HandleWebMessage(R"({"type":"set-pointer-lock-enabled","isEnabled":"yes"})");
  EXPECT_EQ(harness.posted().back(),
            R"({"isEnabled":false,"isOk":true,"type":"set-pointer-lock-enabled-response"})");
}

}  // namespace
}  // namespace tavrelle
