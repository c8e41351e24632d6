#include "platform/chromium/ChromiumCompositionController.h"

#include "platform/chromium/ChromiumController.h"
#include "platform/chromium/ChromiumWebView.h"
#include "platform/BrowserWindowEmbedder.h"

namespace tavrelle::chromium {

ChromiumCompositionController::ChromiumCompositionController(
    std::shared_ptr<ChromiumController> controller)
    : controller_(std::move(controller)),
      input_(controller_->chromiumWebView().client(),
             controller_->chromiumWebView().pageSessionId()),
      cursor_(controller_->chromiumWebView().client(),
              controller_->chromiumWebView().pageSessionId()) {
  cursor_.setOnCursorChanged([this] {
    for (const auto& handler : cursorChanged_) handler();
  });
  cursor_.start();
}

webview::WebViewController& ChromiumCompositionController::controller() { return *controller_; }

// Either way the browser window stays in the host's window and lets the pointer through;
// in capture mode the capture renderer takes its output off the screen.
webview::VisualStatus ChromiumCompositionController::put_RootVisualTarget(webview::VisualTarget) {
  EmbeddedBrowserWindow* window = controller_->embeddedWindow();
  if (window == nullptr) return webview::kVisualNotSupported;
  return window->setInputPassThrough() ? webview::kVisualOk : webview::kVisualNotSupported;
}

void ChromiumCompositionController::SendMouseInput(uint32_t kind, uint32_t virtualKeys,
                                                   int32_t mouseData, Point point) {
  input_.sendMouse(kind, virtualKeys, mouseData, point, cursor_.devicePixelRatio());
}

void ChromiumCompositionController::SendPointerInput(uint32_t kind, const PointerInfo& info) {
  input_.sendPointer(kind, info, cursor_.devicePixelRatio());
}

void ChromiumCompositionController::add_CursorChanged(webview::SimpleEventHandler handler) {
  cursorChanged_.push_back(std::move(handler));
}

}  // namespace tavrelle::chromium
