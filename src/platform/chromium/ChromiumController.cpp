#include "platform/chromium/ChromiumController.h"

#include "platform/chromium/ChromiumWebView.h"
#include "platform/chromium/DevToolsClient.h"
#include "platform/BrowserWindowEmbedder.h"

namespace tavrelle::chromium {

ChromiumController::ChromiumController(std::unique_ptr<EmbeddedBrowserWindow> window,
                                       std::unique_ptr<ChromiumWebView> webView)
    : window_(std::move(window)), webView_(std::move(webView)) {
  webView_->setAcceleratorKeyListener([this](webview::KeyEventKind kind, uint32_t key) {
    webview::AcceleratorKeyPressedEventArgs args(kind, key);
    for (const auto& handler : acceleratorKeyPressed_) handler(args);
  });
}

ChromiumController::~ChromiumController() { webView_.reset(); }

webview::WebView& ChromiumController::get_CoreWebView2() { return *webView_; }

void ChromiumController::put_Bounds(Rect bounds) {
  if (window_) {
    // The browser follows the size of its adopted window by itself.
    window_->setBounds(bounds);
    return;
  }
  if (bounds.width() <= 0 || bounds.height() <= 0 || bounds == headlessBounds_) return;
  headlessBounds_ = bounds;
  auto windowId = webView_->browserWindowId();
  if (!windowId) return;
  webView_->client().send("Browser.setWindowBounds",
                          {{"windowId", *windowId},
                           {"bounds", {{"width", bounds.width()}, {"height", bounds.height()}}}});
}

void ChromiumController::put_IsVisible(bool visible) {
  if (window_) window_->setVisible(visible);
}

void ChromiumController::MoveFocus(webview::MoveFocusReason) {
  if (window_) window_->focus();
}

void ChromiumController::NotifyParentWindowPositionChanged() {
  if (window_) window_->parentMoved();
}

void ChromiumController::add_AcceleratorKeyPressed(
    webview::EventHandler<webview::AcceleratorKeyPressedEventArgs> handler) {
  acceleratorKeyPressed_.push_back(std::move(handler));
}

}  // namespace tavrelle::chromium
