#include <gtest/gtest.h>

#include "common/Dpi.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::SetWindowPosCall;
using Calls = std::vector<SetWindowPosCall>;

constexpr const char* kFullscreenOn = R"({"type":"set-fullscreen","fullscreen":true})";
constexpr const char* kFullscreenOff = R"({"type":"set-fullscreen","fullscreen":false})";

class WindowCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    useDpi(96);
    harness.createAndComplete();
  }
  void TearDown() override {
    ResetDpiCacheForTesting();
    SetScreenDpiSource(nullptr);
  }
  static void useDpi(int dpi) {
    ResetDpiCacheForTesting();
    SetScreenDpiSource([dpi] { return dpi; });
  }
  void send(const std::string& text) { harness.host().HandleWebMessage(text); }
  test::FakeMainWindow& window() { return harness.window(); }
  const Calls& positions() { return window().windowPosCalls; }

  test::WebViewHostHarness harness;
};

TEST_F(WindowCommandsTest, FullscreenCoversTheMonitorOnceAndLeavingRestoresTheWindowExactly) {
  send(kFullscreenOff);  // not fullscreen: nothing to leave
  EXPECT_TRUE(positions().empty());
  EXPECT_TRUE(window().styleWrites.empty());
  const uint32_t maximized =
      window_style::kOverlappedWindow | window_style::kMaximize | window_style::kVisible;
  const Rect maximizedRect{-8, -8, 1928, 1048};
  window().setState(maximized, maximizedRect);
  send(kFullscreenOn);
  send(kFullscreenOn);
  EXPECT_EQ(window().style(), maximized & ~0x00C40000u);
  EXPECT_EQ(positions(), (Calls{{0, 0, 1920, 1080, 0x34}}));
  send(kFullscreenOff);
  EXPECT_EQ(window().style(), maximized);
  EXPECT_EQ(window().windowRect(), maximizedRect);
  EXPECT_EQ(positions().back(), (SetWindowPosCall{-8, -8, 1936, 1056, 0x34}));
  EXPECT_EQ(window().fullscreenMarks, (std::vector<bool>{true, false}));
}

std::string Size(const std::string& width, const std::string& height) {
  return R"({"type":"set-window-size","windowWidth":)" + width + R"(,"windowHeight":)" + height +
         "}";
}

TEST_F(WindowCommandsTest, SizeAndPositionAreScaledAndFramed) {
  struct Case {
    int dpi;
    std::string message;
    Calls expected;  // the fake frame adds 16 x 39
  };
  const std::vector<Case> cases = {
      {120, Size("801", "101"), {{0, 0, 1002 + 16, 127 + 39, 0x16}}},
      {96, Size("800.9", "600"), {{0, 0, 816, 639, 0x16}}},
      {120,
       R"({"type":"set-window-position","windowX":101,"windowY":-40})",
       {{127, -50, 0, 0, 0x15}}},
      {96, R"({"type":"set-window-position"})", {{0, 0, 0, 0, 0x15}}},
      {96, Size("0", "600"), {}},
      {96, Size("800", "-1"), {}},
      {96, Size("\"800\"", "600"), {}},
      {96, R"({"type":"set-window-size","windowHeight":600})", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    useDpi(c.dpi);
    window().windowPosCalls.clear();
    send(c.message);
    EXPECT_EQ(positions(), c.expected);
  }
}

TEST_F(WindowCommandsTest, CaptionlessWindowGetsExactlyTheClientSize) {
  window().setState(0, {0, 0, 100, 100});
  send(Size("320", "200"));
  EXPECT_EQ(positions(), (Calls{{0, 0, 320, 200, 0x16}}));
}

TEST_F(WindowCommandsTest, WhileFullscreenSizeAndPositionAreIgnoredButShowAndFocusAct) {
  harness.host().SetFullscreen(true);
  send(Size("640", "480"));
  send(R"({"type":"set-window-position","windowX":10,"windowY":10})");
  send(R"({"type":"minimize-window"})");
  send(R"({"type":"focus-window"})");
  EXPECT_EQ(window().showCommands, std::vector<ShowCommand>{ShowCommand::Minimize});
  EXPECT_EQ(window().foregroundCount, 1);
  harness.host().SetFullscreen(false);
  ASSERT_EQ(positions().size(), 2u);  // entering and leaving only: nothing remembered
  EXPECT_EQ(positions()[1].flags, 0x34u);
}

// The host's own fullscreen off does not take the page's element out of fullscreen.
TEST_F(WindowCommandsTest, ElementFullscreenDrivesTheHostFullscreenButNotTheOtherWayRound) {
  harness.webView().fireContainsFullScreenElementChanged(true);
  EXPECT_TRUE(harness.host().isFullscreen());
  harness.webView().fireContainsFullScreenElementChanged(false);
  EXPECT_FALSE(harness.host().isFullscreen());
  harness.webView().fireContainsFullScreenElementChanged(true);
  send(kFullscreenOff);
  EXPECT_FALSE(harness.host().isFullscreen());
  EXPECT_TRUE(harness.webView().containsFullScreenElement);
}

}  // namespace
}  // namespace tavrelle
