#pragma once

#include <memory>
#include <vector>

#include "webview/WebViewRuntime.h"

namespace tavrelle {
class EmbeddedBrowserWindow;
}  // namespace tavrelle

namespace tavrelle::chromium {

class ChromiumWebView;

// The controller: places the browser's window inside the host's window (or, without
// one, sizes the headless page) and relays the page's accelerator keys.
class ChromiumController final : public webview::WebViewController {
 public:
  // window: the adopted browser window; null when headless.
  ChromiumController(std::unique_ptr<EmbeddedBrowserWindow> window,
                     std::unique_ptr<ChromiumWebView> webView);
  ~ChromiumController() override;

  webview::WebView& get_CoreWebView2() override;
  void put_Bounds(Rect bounds) override;
  void put_IsVisible(bool visible) override;
  void MoveFocus(webview::MoveFocusReason reason) override;
  void NotifyParentWindowPositionChanged() override;
  void add_AcceleratorKeyPressed(
      webview::EventHandler<webview::AcceleratorKeyPressedEventArgs> handler) override;

 private:
  // Declared first, so the browser closes before its window is let go.
  std::unique_ptr<EmbeddedBrowserWindow> window_;
  std::unique_ptr<ChromiumWebView> webView_;
  std::vector<webview::EventHandler<webview::AcceleratorKeyPressedEventArgs>>
      acceleratorKeyPressed_;
  Rect headlessBounds_;
};

}  // namespace tavrelle::chromium
