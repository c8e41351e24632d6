#include <gtest/gtest.h>

#include "app/Dpi.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::SetWindowPosCall;
using test::WebViewHostHarness;

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
  const std::vector<SetWindowPosCall>& positions() { return window().windowPosCalls; }

  WebViewHostHarness harness;
};

// ----- Fullscreen -----

TEST_F(WindowCommandsTest, EnteringFullscreenDropsTheFrameAndCoversTheMonitor) {
  window().setExStyle(0x00020301 | 0x8);  // every edge bit, and topmost, which stays
  send(R"({"type":"set-fullscreen","fullscreen":true})");

  EXPECT_EQ(window().style(), window_style::kOverlappedWindow & ~0x00C40000u);
  EXPECT_EQ(window().exStyle(), 0x8u);
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 1920, 1080, 0x34}}));
  EXPECT_EQ(window().fullscreenMarks, std::vector<bool>{true});
  EXPECT_EQ(harness.posted(),
            std::vector<std::string>{R"({"isFullscreen":true,"type":"fullscreen-change"})"});
}

TEST_F(WindowCommandsTest, AskingTwiceSendsOneNotice) {
  send(R"({"type":"set-fullscreen","fullscreen":true})");
  send(R"({"type":"set-fullscreen","fullscreen":true})");
  EXPECT_EQ(harness.posted().size(), 1u);
  EXPECT_EQ(positions().size(), 1u);
  EXPECT_EQ(window().fullscreenMarks.size(), 1u);
}

TEST_F(WindowCommandsTest, LeavingWhenNotFullscreenDoesNothing) {
  send(R"({"type":"set-fullscreen","fullscreen":false})");
  EXPECT_TRUE(harness.posted().empty());
  EXPECT_TRUE(positions().empty());
  EXPECT_TRUE(window().styleWrites.empty());
}

TEST_F(WindowCommandsTest, LeavingRestoresAMaximizedWindowExactly) {
  const uint32_t maximized =
      window_style::kOverlappedWindow | window_style::kMaximize | window_style::kVisible;
  const Rect maximizedRect{-8, -8, 1928, 1048};
  window().setState(maximized, maximizedRect);
  window().setExStyle(0x100);

  harness.host().SetFullscreen(true);
  harness.host().SetFullscreen(false);

  EXPECT_EQ(window().style(), maximized);
  EXPECT_EQ(window().exStyle(), 0x100u);
  EXPECT_EQ(window().windowRect(), maximizedRect);
  EXPECT_EQ(positions().back(), (SetWindowPosCall{-8, -8, 1936, 1056, 0x34}));
  EXPECT_EQ(window().fullscreenMarks, (std::vector<bool>{true, false}));
  EXPECT_EQ(harness.posted().back(), R"({"isFullscreen":false,"type":"fullscreen-change"})");
}

// ----- Size -----

TEST_F(WindowCommandsTest, SizeIsTheClientAreaPlusTheFrame) {
  send(R"({"type":"set-window-size","windowWidth":640,"windowHeight":480})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 656, 519, 0x16}}));
}

TEST_F(WindowCommandsTest, SizeIsScaledAt144Dpi) {
  useDpi(144);
  send(R"({"type":"set-window-size","windowWidth":800,"windowHeight":600})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 1200 + 16, 900 + 39, 0x16}}));
}

TEST_F(WindowCommandsTest, SizeIsScaledAndRoundedUpAt120Dpi) {
  useDpi(120);
  send(R"({"type":"set-window-size","windowWidth":801,"windowHeight":101})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 1002 + 16, 127 + 39, 0x16}}));
}

TEST_F(WindowCommandsTest, FractionalSizesAreTruncated) {
  send(R"({"type":"set-window-size","windowWidth":800.9,"windowHeight":600})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 816, 639, 0x16}}));
}

TEST_F(WindowCommandsTest, SizesBelowOneOrOfTheWrongTypeDoNothing) {
  for (const std::string text :
       {R"({"type":"set-window-size","windowWidth":0,"windowHeight":600})",
        R"({"type":"set-window-size","windowWidth":800,"windowHeight":-1})",
        R"({"type":"set-window-size","windowWidth":"800","windowHeight":600})",
        R"({"type":"set-window-size","windowHeight":600})",
        R"({"type":"set-window-size","windowWidth":true,"windowHeight":600})"}) {
    send(text);
  }
  EXPECT_TRUE(positions().empty());
}

TEST_F(WindowCommandsTest, CaptionlessWindowGetsExactlyTheClientSize) {
  window().setState(0, {0, 0, 100, 100});
  send(R"({"type":"set-window-size","windowWidth":320,"windowHeight":200})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 320, 200, 0x16}}));
}

// ----- Position -----

TEST_F(WindowCommandsTest, PositionIsScaledAt120Dpi) {
  useDpi(120);
  send(R"({"type":"set-window-position","windowX":101,"windowY":-40})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{127, -50, 0, 0, 0x15}}));
}

TEST_F(WindowCommandsTest, MissingCoordinatesAreZero) {
  send(R"({"type":"set-window-position"})");
  EXPECT_EQ(positions(), (std::vector<SetWindowPosCall>{{0, 0, 0, 0, 0x15}}));
}

// ----- While fullscreen -----

TEST_F(WindowCommandsTest, SizeAndPositionAreIgnoredWhileFullscreenAndNotRemembered) {
  harness.host().SetFullscreen(true);
  send(R"({"type":"set-window-size","windowWidth":640,"windowHeight":480})");
  send(R"({"type":"set-window-position","windowX":10,"windowY":10})");
  harness.host().SetFullscreen(false);

  ASSERT_EQ(positions().size(), 2u);  // entering and leaving only
  EXPECT_EQ(positions()[1].flags, 0x34u);
}

TEST_F(WindowCommandsTest, ShowCommandsAndFocusStillActWhileFullscreen) {
  harness.host().SetFullscreen(true);
  send(R"({"type":"minimize-window"})");
  send(R"({"type":"focus-window"})");
  EXPECT_EQ(window().showCommands, std::vector<ShowCommand>{ShowCommand::Minimize});
  EXPECT_EQ(window().foregroundCount, 1);
}

TEST_F(WindowCommandsTest, HostFullscreenOffDoesNotTouchTheElementFullscreen) {
  harness.webView().fireContainsFullScreenElementChanged(true);
  send(R"({"type":"set-fullscreen","fullscreen":false})");
  EXPECT_FALSE(harness.host().isFullscreen());
  EXPECT_TRUE(harness.webView().containsFullScreenElement);
}

}  // namespace
}  // namespace tavrelle
