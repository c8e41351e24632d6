#include "app/MainWndProc.h"

#include <gtest/gtest.h>

#include "app/CurrentWebViewHost.h"
#include "support/FakeEventLoop.h"
#include "support/WebViewHostHarness.h"

namespace tavrelle {
namespace {

using Kind = WindowEvent::Kind;

class MainWndProcTest : public ::testing::Test {
 protected:
  void TearDown() override { SetCurrentWebViewHost(nullptr); }

  // The host exists and is current; its controller exists only when created is true.
  void hostIsCurrent(bool created = true) {
    if (created) {
      harness.createAndComplete();
    } else {
      harness.create();
    }
    SetCurrentWebViewHost(&harness.host());
    harness.log->clear();
  }
  WindowProcResult deliver(WindowEvent event) { return MainWndProc(event, loop); }
  static WindowEvent sized(SizeType type) { return {.kind = Kind::Size, .sizeType = type}; }

  test::WebViewHostHarness harness;
  test::FakeEventLoop loop;
};

// ----- Before the host exists -----

TEST_F(MainWndProcTest, WithoutAHostEveryEventIsSafe) {
  EXPECT_EQ(deliver({.kind = Kind::Size}), WindowProcResult::Handled);
  EXPECT_EQ(deliver({.kind = Kind::Move}), WindowProcResult::Handled);
  EXPECT_EQ(deliver({.kind = Kind::SetFocus}), WindowProcResult::Default);
  EXPECT_EQ(deliver({.kind = Kind::RawInput, .rawDx = 3}), WindowProcResult::Handled);
  EXPECT_EQ(deliver({.kind = Kind::Timer, .timerId = 1000}), WindowProcResult::Handled);
  EXPECT_TRUE(loop.quitCodes.empty());
}

TEST_F(MainWndProcTest, BeforeTheControllerExistsNothingReachesTheWebView) {
  hostIsCurrent(false);
  EXPECT_EQ(deliver(sized(SizeType::Maximized)), WindowProcResult::Handled);
  EXPECT_EQ(deliver({.kind = Kind::Move}), WindowProcResult::Handled);
  EXPECT_EQ(deliver({.kind = Kind::SetFocus}), WindowProcResult::Default);
  EXPECT_TRUE(harness.log->entries().empty());
}

// ----- Close and destroy -----

TEST_F(MainWndProcTest, CloseIsLeftToTheDefaultHandling) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::Close}), WindowProcResult::Default);
  EXPECT_TRUE(loop.quitCodes.empty());
}

TEST_F(MainWndProcTest, DestroyEndsTheLoopWithZero) {
  EXPECT_EQ(deliver({.kind = Kind::Destroy}), WindowProcResult::Handled);
  EXPECT_EQ(loop.quitCodes, std::vector<int>{0});
}

// ----- Size -----

TEST_F(MainWndProcTest, SizeSetsTheBoundsToTheClientArea) {
  hostIsCurrent();
  harness.window().setClientRect({0, 0, 1280, 720});
  deliver(sized(SizeType::Restored));
  EXPECT_EQ(harness.controller().bounds.back(), (Rect{0, 0, 1280, 720}));
  EXPECT_TRUE(harness.posted().empty());
}

TEST_F(MainWndProcTest, MaximizingNotifiesThePageEveryTimeAfterTheBounds) {
  hostIsCurrent();
  deliver(sized(SizeType::Maximized));
  deliver(sized(SizeType::Maximized));
  EXPECT_EQ(harness.posted(), (std::vector<std::string>{R"({"type":"window-maximized"})",
                                                        R"({"type":"window-maximized"})"}));
  EXPECT_LT(harness.log->indexOf("controller.put_Bounds"),
            harness.log->indexOf("webView.PostWebMessageAsJson"));
}

TEST_F(MainWndProcTest, MinimizingNotifiesThePage) {
  hostIsCurrent();
  deliver(sized(SizeType::Minimized));
  EXPECT_EQ(harness.posted(), std::vector<std::string>{R"({"type":"window-minimized"})"});
}

// ----- Move, focus -----

TEST_F(MainWndProcTest, MoveTellsTheController) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::Move}), WindowProcResult::Handled);
  EXPECT_EQ(harness.controller().positionNotices, 1);
}

TEST_F(MainWndProcTest, FocusGoesIntoThePageThenToTheDefault) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::SetFocus}), WindowProcResult::Default);
  EXPECT_EQ(harness.log->entries(), std::vector<std::string>{"controller.MoveFocus"});
}

// ----- Raw input and timers -----

TEST_F(MainWndProcTest, RawInputIsAlwaysHandled) {
  hostIsCurrent();
  EXPECT_EQ(deliver({.kind = Kind::RawInput, .rawDx = -4, .rawDy = 7}), WindowProcResult::Handled);
}

TEST_F(MainWndProcTest, TimersAreHandledWhateverTheirId) {
  hostIsCurrent();
  for (const int32_t id : {1000, 1001, 7}) {
    EXPECT_EQ(deliver({.kind = Kind::Timer, .timerId = id}), WindowProcResult::Handled);
  }
  EXPECT_TRUE(harness.log->entries().empty());
}

}  // namespace
}  // namespace tavrelle
