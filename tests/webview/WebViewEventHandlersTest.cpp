#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::SetWindowPosCall;
using webview::KeyEventKind;
using Strings = std::vector<std::string>;
constexpr const char* kGamePage = "https://tavrelle.localhost/index.html";

class WebViewEventHandlersTest : public ::testing::Test {
 protected:
  void SetUp() override { harness.createAndComplete(); }
  test::FakeWebView& webView() { return harness.webView(); }
  test::FakeMainWindow& window() { return harness.window(); }

  test::WebViewHostHarness harness;
};

// A reload while the player works in another application leaves the keyboard there
// (the page gets it when the window next receives the focus, see MainWndProcTest).
TEST_F(WebViewEventHandlersTest, EveryDocumentShowsTheWindowAndFocusesThePageIfActive) {
  harness.log->clear();
  webView().fireDOMContentLoaded();
  EXPECT_EQ(harness.log->entries(),
            (Strings{"window.show", "controller.put_IsVisible", "controller.MoveFocus"}));
  EXPECT_TRUE(window().styleWrites.empty());  // the caption is left alone when configured
  EXPECT_TRUE(window().windowPosCalls.empty());
  window().active = false;
  webView().fireDOMContentLoaded();
  EXPECT_EQ(window().showCount, 2);
  EXPECT_EQ(harness.controller().focusMoves, 1);
}

TEST(WebViewEventHandlers, CaptionIsRemovedOnceTheDocumentIsReady) {
  test::WebViewHostHarness h;
  h.config.caption = false;
  h.createAndComplete();
  const uint32_t before = h.window().style();
  EXPECT_TRUE(h.window().styleWrites.empty());
  h.webView().fireDOMContentLoaded();
  EXPECT_EQ(h.window().styleWrites,
            std::vector<uint32_t>{(before | window_style::kVisible) & ~0x00C00000u});
  EXPECT_EQ(h.window().windowPosCalls, (std::vector<SetWindowPosCall>{{0, 0, 0, 0, 0x27}}));
  EXPECT_LT(h.log->indexOf("window.setWindowPos"), h.log->indexOf("controller.MoveFocus"));
}

TEST_F(WebViewEventHandlersTest, PermissionsOnlyForTheContentOrigin) {
  const auto camera = webview::PermissionKind::Camera;
  EXPECT_EQ(webView().onPermissionRequested.fire(kGamePage, camera).get_State(),
            webview::PermissionState::Allow);
  EXPECT_EQ(webView().onPermissionRequested.fire("https://ads.example/", camera).get_State(),
            webview::PermissionState::Default);
}

// Which sources belong to the origin is AcceptedSourceTest's; which requests may open is
// NewWindowPolicyTest's; here: admitted ones reach the shell,
// and every request is handled, so the web view opens no window of its own.
TEST_F(WebViewEventHandlersTest, AdmittedNewWindowsReachTheShellAndNoneOpensInTheBrowser) {
  const webview::NewWindowRequester app{kGamePage, true, false};
  const webview::NewWindowRequester foreignTop{"https://example.com/", true, false};
  EXPECT_TRUE(webView().onNewWindowRequested.fire("mailto:a@b.c", app).get_Handled());
  EXPECT_TRUE(
      webView().onNewWindowRequested.fire("https://example.org/", foreignTop).get_Handled());
  EXPECT_EQ(harness.shellOpened, (Strings{"mailto:a@b.c"}));
}

TEST_F(WebViewEventHandlersTest, NavigationOutsideTheOriginIsCancelledAndOpensNothing) {
  auto& navigation = webView().onNavigationStarting;
  EXPECT_FALSE(navigation.fire("https://tavrelle.localhost/level2.html").get_Cancel());
  EXPECT_TRUE(navigation.fire("https://example.com/").get_Cancel());
  EXPECT_TRUE(harness.shellOpened.empty());
}

TEST(WebViewEventHandlers, F12OpensDevToolsOnPressAndReleaseOnlyWhenEnabled) {
  for (bool enabled : {true, false}) {
    test::WebViewHostHarness h;
    h.config.enableDevtools = enabled;
    h.createAndComplete();
    auto pressed = h.controller().onAcceleratorKeyPressed.fire(KeyEventKind::KeyDown, 0x7B);
    h.controller().onAcceleratorKeyPressed.fire(KeyEventKind::KeyUp, 0x7B);
    h.controller().onAcceleratorKeyPressed.fire(KeyEventKind::KeyDown, 0x74);  // F5
    EXPECT_EQ(h.webView().devToolsOpened, enabled ? 2 : 0);
    EXPECT_FALSE(pressed.get_Handled());
  }
}

TEST_F(WebViewEventHandlersTest, RequestsAndMessagesFromTheOriginAreHandledOthersDropped) {
  const auto args = webView().onWebResourceRequested.fire(
      webview::WebResourceRequest{"https://tavrelle.localhost/missing.js", "GET", {}},
      webview::WebResourceContext::Document);
  ASSERT_TRUE(args.get_Response().has_value());
  EXPECT_EQ(args.get_Response()->statusCode, 404);

  const std::string maximize = R"({"type":"maximize-window"})";
  webView().onWebMessageReceived.fire("https://evil.example/", maximize);
  webView().onWebMessageReceived.fire("", maximize);
  webView().onWebMessageReceived.fire("https://tavrelle.localhost/", std::nullopt);
  EXPECT_TRUE(window().showCommands.empty());
  webView().onWebMessageReceived.fire(kGamePage, maximize);
  EXPECT_EQ(window().showCommands, std::vector<ShowCommand>{ShowCommand::Maximize});
}

TEST(WebViewEventHandlers, BrowserGoingAwayEndsTheAppWithTwoButARendererDoesNot) {
  using enum webview::ProcessFailedKind;
  for (const auto kind : {BrowserProcessExited, ConnectionLost, RenderProcessExited}) {
    test::WebViewHostHarness h;
    h.createAndComplete();
    h.webView().onProcessFailed.fire(kind, "gone");
    const bool ends = kind != RenderProcessExited;
    EXPECT_EQ(h.loopEndCodes, ends ? std::vector<int>{2} : std::vector<int>{});
    ASSERT_EQ(h.messageBoxes.size(), ends ? 1u : 0u);
    if (!ends) continue;
    EXPECT_EQ(h.messageBoxes[0].text,
              "The web view runtime stopped unexpectedly. The app will close.");
    EXPECT_EQ(h.messageBoxes[0].caption, "Tavrelle");
  }
}

}  // namespace
}  // namespace tavrelle
