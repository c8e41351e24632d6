#pragma once

#include <memory>
#include <vector>

#include "platform/chromium/ChromiumInputRelay.h"
#include "platform/chromium/CursorReporter.h"
#include "webview/CompositionController.h"

namespace tavrelle::chromium {

class ChromiumController;

// The browser's adopted window, driven for visual hosting: the pointer passes through
// it to the host's window, which relays mouse, touch and pen input over the DevTools
// Input domain; the keyboard stays with the browser window through the focus. The
// page's cursor comes from the injected cursor script.
class ChromiumCompositionController final : public webview::CompositionController {
 public:
  explicit ChromiumCompositionController(std::shared_ptr<ChromiumController> controller);

  webview::WebViewController& controller() override;
  webview::VisualStatus put_RootVisualTarget(webview::VisualTarget target) override;
  void SendMouseInput(uint32_t kind, uint32_t virtualKeys, int32_t mouseData, Point point) override;
  void SendPointerInput(uint32_t kind, const PointerInfo& info) override;
  [[nodiscard]] std::string get_Cursor() const override { return cursor_.cursor(); }
  void add_CursorChanged(webview::SimpleEventHandler handler) override;

 private:
  std::shared_ptr<ChromiumController> controller_;
  ChromiumInputRelay input_;
  CursorReporter cursor_;
  std::vector<webview::SimpleEventHandler> cursorChanged_;
};

}  // namespace tavrelle::chromium
