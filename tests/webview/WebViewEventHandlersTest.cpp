#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::SetWindowPosCall;
using webview::KeyEventKind;
using Strings = std::vector<std::string>;

class WebViewEventHandlersTest : public ::testing::Test {
 protected:
  void start() { harness.createAndComplete(); }
  test::FakeWebView& webView() { return harness.webView(); }
  test::FakeMainWindow& window() { return harness.window(); }

  test::WebViewHostHarness harness;
};

TEST_F(WebViewEventHandlersTest, EveryDocumentShowsTheWindowAndFocusesThePage) {
  start();
  harness.log->clear();
  webView().fireDOMContentLoaded();
  EXPECT_EQ(harness.log->entries(),
            (Strings{"window.show", "controller.put_IsVisible", "controller.MoveFocus"}));
  EXPECT_TRUE(window().styleWrites.empty());  // the caption is left alone when configured
  EXPECT_TRUE(window().windowPosCalls.empty());
  webView().fireDOMContentLoaded();
  EXPECT_EQ(window().showCount, 2);
  EXPECT_EQ(harness.controller().focusMoves, 2);
}

// A reload while the player works in another application leaves the keyboard there
// (the page gets it when the window next receives the focus, see MainWndProcTest).
TEST_F(WebViewEventHandlersTest, DocumentsOfAnInactiveWindowLeaveTheFocusWhereItIs) {
  start();
  window().active = false;
  harness.log->clear();
  webView().fireDOMContentLoaded();
  EXPECT_EQ(harness.log->entries(), (Strings{"window.show", "controller.put_IsVisible"}));
  EXPECT_EQ(harness.controller().focusMoves, 0);
  window().active = true;
  webView().fireDOMContentLoaded();
  EXPECT_EQ(harness.controller().focusMoves, 1);
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

// A game's "Quit" calls window.close().
TEST_F(WebViewEventHandlersTest, ThePageClosingClosesTheWindow) {
  start();
  webView().fireWindowCloseRequested();
  EXPECT_EQ(window().closeCount, 1);
}

TEST_F(WebViewEventHandlersTest, PermissionsOnlyForTheContentOrigin) {
  start();
  for (const auto kind :
       {webview::PermissionKind::Camera, webview::PermissionKind::Microphone,
        webview::PermissionKind::Geolocation, webview::PermissionKind::ClipboardRead}) {
    EXPECT_EQ(webView().firePermissionRequested(kind).get_State(), webview::PermissionState::Allow);
    EXPECT_EQ(webView().firePermissionRequested(kind, "https://ads.example/").get_State(),
              webview::PermissionState::Default);
  }
}

// Which sources belong to the origin is AcceptedSourceTest's; which requests may open is
// NewWindowPolicyTest's; here: admitted ones reach the shell,
// and every request is handled, so the web view opens no window of its own.
TEST_F(WebViewEventHandlersTest, AdmittedNewWindowsReachTheShellAndNoneOpensInTheBrowser) {
  start();
  const webview::NewWindowRequester app{"https://tavrelle.localhost/index.html", true, false};
  const webview::NewWindowRequester foreignTop{"https://example.com/", true, false};
  EXPECT_TRUE(webView().fireNewWindowRequested("mailto:a@b.c", app).get_Handled());
  EXPECT_TRUE(webView().fireNewWindowRequested("https://example.org/", foreignTop).get_Handled());
  EXPECT_TRUE(webView().fireNewWindowRequested("file:///etc/passwd", app).get_Handled());
  EXPECT_EQ(harness.shellOpened, (Strings{"mailto:a@b.c"}));
}

TEST_F(WebViewEventHandlersTest, NavigationOutsideTheOriginIsCancelledAndOpensNothing) {
  start();
  for (const auto& [uri, cancelled] : std::vector<std::pair<std::string, bool>>{
           {"https://tavrelle.localhost/level2.html", false}, {"https://example.com/", true}}) {
    EXPECT_EQ(webView().fireNavigationStarting(uri).get_Cancel(), cancelled) << uri;
  }
  EXPECT_TRUE(harness.shellOpened.empty());
}

TEST_F(WebViewEventHandlersTest, ElementFullscreenDrivesTheHostFullscreen) {
  start();
  webView().fireContainsFullScreenElementChanged(true);
  EXPECT_TRUE(harness.host().isFullscreen());
  webView().fireContainsFullScreenElementChanged(false);
  EXPECT_FALSE(harness.host().isFullscreen());
  EXPECT_EQ(harness.posted(), (Strings{R"({"isFullscreen":true,"type":"fullscreen-change"})",
                                       R"({"isFullscreen":false,"type":"fullscreen-change"})"}));
}

TEST_F(WebViewEventHandlersTest, F12OpensDevToolsOnPressAndReleaseOnlyWhenEnabled) {
  for (bool enabled : {true, false}) {
    test::WebViewHostHarness h;
    h.config.enableDevtools = enabled;
    h.createAndComplete();
    auto pressed = h.controller().fireAcceleratorKey(KeyEventKind::KeyDown, 0x7B);
    h.controller().fireAcceleratorKey(KeyEventKind::KeyUp, 0x7B);
    h.controller().fireAcceleratorKey(KeyEventKind::KeyDown, 0x74);  // F5
    EXPECT_EQ(h.webView().devToolsOpened, enabled ? 2 : 0);
    EXPECT_FALSE(pressed.get_Handled());
  }
}

TEST_F(WebViewEventHandlersTest, RequestsAndMessagesFromTheOriginAreHandledOthersDropped) {
  start();
  const auto args = webView().fireWebResourceRequested("https://tavrelle.localhost/missing.js");
  ASSERT_TRUE(args.get_Response().has_value());
  EXPECT_EQ(args.get_Response()->statusCode, 404);

  const std::string maximize = R"({"type":"maximize-window"})";
  webView().fireWebMessage("https://evil.example/", maximize);
  webView().fireWebMessage("", maximize);
  webView().fireWebMessage("https://tavrelle.localhost/", std::nullopt);
  EXPECT_TRUE(window().showCommands.empty());
  webView().fireWebMessage("https://tavrelle.localhost/index.html", maximize);
  EXPECT_EQ(window().showCommands, std::vector<ShowCommand>{ShowCommand::Maximize});
}

TEST_F(WebViewEventHandlersTest, BrowserGoingAwayEndsTheAppWithTwoButARendererDoesNot) {
  using enum webview::ProcessFailedKind;
  for (const auto kind : {BrowserProcessExited, ConnectionLost, RenderProcessExited}) {
    test::WebViewHostHarness h;
    h.createAndComplete();
    h.webView().fireProcessFailed(kind);
    if (kind == RenderProcessExited) {
      EXPECT_TRUE(h.messageBoxes.empty());
      EXPECT_TRUE(h.loopEndCodes.empty());
      continue;
    }
    ASSERT_EQ(h.messageBoxes.size(), 1u);
    EXPECT_EQ(h.messageBoxes[0].text,
              "The web view runtime stopped unexpectedly. The app will close.");
    EXPECT_EQ(h.messageBoxes[0].caption, "Tavrelle");
    EXPECT_EQ(h.loopEndCodes, std::vector<int>{2});
  }
}

}  // namespace
}  // namespace tavrelle
