#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::SetWindowPosCall;
using test::WebViewHostHarness;
using webview::KeyEventKind;

class WebViewEventHandlersTest : public ::testing::Test {
 protected:
  void start() { harness.createAndComplete(); }
  test::FakeWebView& webView() { return harness.webView(); }
  test::FakeMainWindow& window() { return harness.window(); }

  WebViewHostHarness harness;
};

// ----- DOMContentLoaded -----

TEST_F(WebViewEventHandlersTest, FirstDocumentShowsTheWindowAndFocusesThePage) {
  start();
  harness.log->clear();
  webView().fireDOMContentLoaded();

  EXPECT_EQ(harness.log->entries(),
            (std::vector<std::string>{"window.show", "controller.put_IsVisible",
                                      "controller.MoveFocus"}));
  EXPECT_EQ(harness.controller().visible, std::optional<bool>(true));
}

TEST_F(WebViewEventHandlersTest, EveryDocumentShowsAndFocusesAgain) {
  start();
  webView().fireDOMContentLoaded();
  webView().fireDOMContentLoaded();
  EXPECT_EQ(window().showCount, 2);
  EXPECT_EQ(harness.controller().focusMoves, 2);
}

TEST_F(WebViewEventHandlersTest, CaptionIsLeftAloneWhenConfigured) {
  start();
  webView().fireDOMContentLoaded();
  EXPECT_TRUE(window().styleWrites.empty());
  EXPECT_TRUE(window().windowPosCalls.empty());
}

TEST_F(WebViewEventHandlersTest, CaptionIsRemovedOnceTheDocumentIsReady) {
  harness.config.caption = false;
  start();
  const uint32_t before = window().style();
  EXPECT_TRUE(window().styleWrites.empty());

  webView().fireDOMContentLoaded();

  ASSERT_EQ(window().styleWrites.size(), 1u);
  EXPECT_EQ(window().styleWrites[0], (before | window_style::kVisible) & ~0x00C00000u);
  EXPECT_EQ(window().windowPosCalls, (std::vector<SetWindowPosCall>{{0, 0, 0, 0, 0x27}}));
  EXPECT_LT(harness.log->indexOf("window.setWindowPos"),
            harness.log->indexOf("controller.MoveFocus"));
}

// ----- Title, close, permissions, new windows -----

TEST_F(WebViewEventHandlersTest, DocumentTitleBecomesTheWindowTitle) {
  start();
  webView().fireDocumentTitleChanged("Level 2 — Día");
  webView().fireDocumentTitleChanged("");
  EXPECT_EQ(window().titles, (std::vector<std::string>{"Level 2 — Día", ""}));
}

TEST_F(WebViewEventHandlersTest, PageClosingClosesTheWindow) {
  start();
  webView().fireWindowCloseRequested();
  EXPECT_EQ(window().closeCount, 1);
}

TEST_F(WebViewEventHandlersTest, EveryPermissionIsGranted) {
  start();
  for (const auto kind :
       {webview::PermissionKind::Camera, webview::PermissionKind::Microphone,
        webview::PermissionKind::Geolocation, webview::PermissionKind::Notifications}) {
    EXPECT_EQ(webView().firePermissionRequested(kind).get_State(), webview::PermissionState::Allow);
  }
}

TEST_F(WebViewEventHandlersTest, NewWindowsOpenOnTheDesktopWhateverTheScheme) {
  start();
  for (const std::string uri : {"https://example.com/", "mailto:a@b.c", "steam://run/1"}) {
    EXPECT_TRUE(webView().fireNewWindowRequested(uri).get_Handled());
  }
  EXPECT_EQ(harness.shellOpened,
            (std::vector<std::string>{"https://example.com/", "mailto:a@b.c", "steam://run/1"}));
}

// ----- Navigation -----

TEST_F(WebViewEventHandlersTest, NavigationInsideTheOriginProceeds) {
  start();
  EXPECT_FALSE(
      webView().fireNavigationStarting("https://tavrelle.localhost/level2.html").get_Cancel());
  EXPECT_FALSE(webView().fireNavigationStarting("https://tavrelle.localhost/").get_Cancel());
}

TEST_F(WebViewEventHandlersTest, NavigationElsewhereIsCancelledAndOpensNothing) {
  start();
  EXPECT_TRUE(webView().fireNavigationStarting("https://example.com/").get_Cancel());
  EXPECT_TRUE(webView().fireNavigationStarting("https://tavrelle.localhost").get_Cancel());
  EXPECT_TRUE(webView().fireNavigationStarting("HTTPS://TAVRELLE.LOCALHOST/").get_Cancel());
  EXPECT_TRUE(harness.shellOpened.empty());
}

// ----- Fullscreen, keys -----

TEST_F(WebViewEventHandlersTest, ElementFullscreenDrivesTheHostFullscreen) {
  start();
  webView().fireContainsFullScreenElementChanged(true);
  EXPECT_TRUE(harness.host().isFullscreen());
  webView().fireContainsFullScreenElementChanged(false);
  EXPECT_FALSE(harness.host().isFullscreen());
  EXPECT_EQ(harness.posted(),
            (std::vector<std::string>{R"({"isFullscreen":true,"type":"fullscreen-change"})",
                                      R"({"isFullscreen":false,"type":"fullscreen-change"})"}));
}

TEST_F(WebViewEventHandlersTest, F12OpensDevToolsOnPressAndReleaseWhenEnabled) {
  start();
  auto pressed = harness.controller().fireAcceleratorKey(KeyEventKind::KeyDown, 0x7B);
  harness.controller().fireAcceleratorKey(KeyEventKind::KeyUp, 0x7B);
  harness.controller().fireAcceleratorKey(KeyEventKind::KeyDown, 0x74);  // F5
  EXPECT_EQ(webView().devToolsOpened, 2);
  EXPECT_FALSE(pressed.get_Handled());
}

TEST_F(WebViewEventHandlersTest, F12DoesNothingWhenDevToolsAreDisabled) {
  harness.config.enableDevtools = false;
  start();
  harness.controller().fireAcceleratorKey(KeyEventKind::KeyDown, 0x7B);
  EXPECT_EQ(webView().devToolsOpened, 0);
}

// ----- Requests, messages -----

TEST_F(WebViewEventHandlersTest, RequestsForTheOriginAreAnsweredByTheResourceServer) {
  start();
  const auto args = webView().fireWebResourceRequested("https://tavrelle.localhost/missing.js");
  ASSERT_TRUE(args.get_Response().has_value());
  EXPECT_EQ(args.get_Response()->statusCode, 404);
}

TEST_F(WebViewEventHandlersTest, MessagesFromTheOriginAreHandled) {
  start();
  webView().fireWebMessage("https://tavrelle.localhost/index.html",
                           R"({"type":"maximize-window"})");
  EXPECT_EQ(window().showCommands, std::vector<ShowCommand>{ShowCommand::Maximize});
}

TEST_F(WebViewEventHandlersTest, MessagesFromElsewhereOrNotStringsAreDropped) {
  start();
  const std::string maximize = R"({"type":"maximize-window"})";
  webView().fireWebMessage("https://evil.example/", maximize);
  webView().fireWebMessage("https://tavrelle.localhost", maximize);  // the origin minus its "/"
  webView().fireWebMessage("", maximize);
  webView().fireWebMessage("https://tavrelle.localhost/", std::nullopt);
  EXPECT_TRUE(window().showCommands.empty());
}

// ----- The browser going away -----

TEST_F(WebViewEventHandlersTest, BrowserThatExitsEndsTheAppWithCodeTwo) {
  start();
  webView().fireProcessFailed(webview::ProcessFailedKind::BrowserProcessExited);
  ASSERT_EQ(harness.messageBoxes.size(), 1u);
  EXPECT_EQ(harness.messageBoxes[0].text,
            "The web view runtime stopped unexpectedly. The app will close.");
  EXPECT_EQ(harness.messageBoxes[0].caption, "Tavrelle");
  EXPECT_EQ(harness.loopEndCodes, std::vector<int>{2});
}

TEST_F(WebViewEventHandlersTest, LostConnectionEndsTheAppToo) {
  start();
  webView().fireProcessFailed(webview::ProcessFailedKind::ConnectionLost);
  EXPECT_EQ(harness.loopEndCodes, std::vector<int>{2});
}

TEST_F(WebViewEventHandlersTest, RendererThatExitsLeavesTheAppRunning) {
  start();
  webView().fireProcessFailed(webview::ProcessFailedKind::RenderProcessExited);
  EXPECT_TRUE(harness.messageBoxes.empty());
  EXPECT_TRUE(harness.loopEndCodes.empty());
}

}  // namespace
}  // namespace tavrelle
