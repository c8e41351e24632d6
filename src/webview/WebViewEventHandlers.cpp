// The web view's events, each a small fixed rule that makes the web view behave like
// one application window.

#include <string>

#include "app/DefaultCaption.h"
#include "content/ResourceServer.h"
#include "common/UrlOrigin.h"
#include "messaging/DirectoryHandles.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

constexpr uint32_t kFrameChangedInPlace =
    window_pos::kNoSize | window_pos::kNoMove | window_pos::kNoZOrder | window_pos::kFrameChanged;

constexpr const char* kRuntimeStoppedText =
    "The web view runtime stopped unexpectedly. The app will close.";
constexpr int kRuntimeStoppedExitCode = 2;

}  // namespace

bool ZephyxWebView::IsAcceptedSource(const std::string& uri) const {
  return IsAcceptedSourceFor(contentOrigin_, uri);
}

// Every document, not only the first: a later navigation shows the window again (no
// change) and puts the keyboard back into the page, unless the player works in another
// application; the page then gets the keyboard when the window next receives the focus.
void ZephyxWebView::OnDOMContentLoaded() {
  window_->show();
  controller_->put_IsVisible(true);
  if (!config_->caption) {
    window_->setStyle(window_->style() & ~window_style::kCaption);
    window_->setWindowPos(0, 0, 0, 0, kFrameChangedInPlace);
  }
  if (window_->isActive()) controller_->MoveFocus(webview::MoveFocusReason::Programmatic);
}

void ZephyxWebView::FocusPage() {
  if (controller_) {
    controller_->MoveFocus(webview::MoveFocusReason::Programmatic);
  }
}

void ZephyxWebView::OnDocumentTitleChanged() { window_->setTitle(webView_->get_DocumentTitle()); }

// The app stays on its own origin; a cancelled address is not opened anywhere else.
void ZephyxWebView::OnNavigationStarting(webview::NavigationStartingEventArgs& args) {
  if (!IsAcceptedSource(args.get_Uri())) {
    args.put_Cancel(true);
  }
}

// Links with a target and window.open go to the desktop's handler for their scheme,
// when the policy lets them; the web view never opens a window of its own.
void ZephyxWebView::OnNewWindowRequested(webview::NewWindowRequestedEventArgs& args) {
  const bool fromAcceptedSource = IsAcceptedSource(args.get_Requester().source);
  if (newWindowPolicy_.admit(args, fromAcceptedSource)) ports_.shellOpen(args.get_Uri());
  args.put_Handled(true);
}

// The game's own pages get what they ask for; other origins (frames of third-party
// content) get the browser's default.
void ZephyxWebView::OnPermissionRequested(webview::PermissionRequestedEventArgs& args) {
  if (IsAcceptedSource(args.get_Uri())) args.put_State(webview::PermissionState::Allow);
}

void ZephyxWebView::OnWindowCloseRequested() { window_->close(); }

// The page's element fullscreen and the host's fullscreen are one state.
void ZephyxWebView::OnContainsFullScreenElementChanged() {
  SetFullscreen(webView_->get_ContainsFullScreenElement());
}

// Press and release both open the tools; the key is never marked handled.
void ZephyxWebView::OnAcceleratorKeyPressed(webview::AcceleratorKeyPressedEventArgs& args) {
  if (config_->enableDevtools && args.get_VirtualKey() == webview::kVirtualKeyF12) {
    webView_->OpenDevToolsWindow();
  }
}

void ZephyxWebView::OnWebResourceRequested(webview::WebResourceRequestedEventArgs& args) {
  if (directoryHandles_->answerBodyRequest(args)) return;
  resourceServer_->handleRequest(args);
}

// Without its browser the window shows nothing and can do nothing. A renderer that
// died leaves the browser's own error page, from which a reload recovers.
void ZephyxWebView::OnProcessFailed(webview::ProcessFailedEventArgs& args) {
  if (args.get_ProcessFailedKind() == webview::ProcessFailedKind::RenderProcessExited) {
    return;
  }
  ports_.showMessageBox(kRuntimeStoppedText, kDefaultCaption, MessageBoxIcon::Error);
  ports_.endMainLoop(kRuntimeStoppedExitCode);
}

}  // namespace tavrelle
