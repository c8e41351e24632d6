// The composition-controller path of web view creation (visual hosting mode).

#include <utility>

#include "visual/VisualHostingManager.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

bool ZephyxWebView::RequestCompositionController(const webview::ControllerOptions& options) {
  if (window_->relayPointer() == nullptr) return false;  // nothing could relay its input
  return environment_->CreateCoreWebView2CompositionControllerWithOptions(
      window_->nativeHandle(), options,
      [this](const webview::CreationResult& result,
             std::shared_ptr<webview::CompositionController> compositionController) {
        OnCompositionControllerCreated(result, std::move(compositionController));
      });
}

void ZephyxWebView::OnCompositionControllerCreated(
    const webview::CreationResult& result,
    std::shared_ptr<webview::CompositionController> compositionController) {
  if (!result.succeeded || !compositionController) {
    FailCreation(result);
    return;
  }
  compositionController_ = std::move(compositionController);
  // The controller is the same object seen another way: it shares the ownership.
  controller_ = std::shared_ptr<webview::WebViewController>(compositionController_,
                                                            &compositionController_->controller());
  InitWithController();

  VisualHostingSetup setup;
  setup.window = window_;
  setup.pointer = window_->relayPointer();
  setup.compositionController = compositionController_;
  setup.logToConsole = [this](const std::string& text, const std::string& level) {
    LogToConsole(text, level);
  };
  setup.useCapture = config_->useCapture;
  setup.makeCaptureDevice = ports_.makeCaptureDevice;
  visualHostingManager_.reset();
  visualHostingManager_ = std::make_unique<VisualHostingManager>(std::move(setup));
  visualHostingManager_->Init();
}

}  // namespace tavrelle
