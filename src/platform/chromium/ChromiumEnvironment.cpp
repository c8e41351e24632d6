#include "platform/chromium/ChromiumEnvironment.h"

#include <unistd.h>

#include "platform/chromium/BrowserStartup.h"
#include "platform/IoEventLoop.h"
#include "platform/chromium/ChromiumCompositionController.h"
#include "platform/chromium/ChromiumController.h"
#include "platform/chromium/ChromiumQuirks.h"

namespace tavrelle::chromium {

void ChromiumEnvironment::CreateCoreWebView2ControllerWithOptions(
    uint64_t parentWindow, const webview::ControllerOptions& options,
    webview::ControllerCompletedHandler handler) {
  if (controllerRequested_) {
    loop_.post([handler] {
      handler(webview::CreationResult{false, "the environment's profile already has its browser"},
              nullptr);
    });
    return;
  }
  controllerRequested_ = true;
  bool windowed = !settings_.headless && settings_.embedder != nullptr && parentWindow != 0;
  BrowserStartup::Request request;
  request.launch.executable = settings_.executable;
  request.launch.userDataFolder = settings_.userDataFolder;
  request.launch.additionalArguments = settings_.additionalBrowserArguments;
  request.launch.headless = !windowed;
  request.launch.runningAsRoot = geteuid() == 0;
  request.launch.smallSharedMemory = quirks::sharedMemoryIsSmall();
  request.launch.windowWidth = kLaunchWidth;
  request.launch.windowHeight = kLaunchHeight;
  request.launch.background = options.defaultBackgroundColor;
  request.parentWindow = parentWindow;
  request.embedder = windowed ? settings_.embedder : nullptr;
  BrowserStartup::begin(loop_, std::move(request), std::move(handler));
}

bool ChromiumEnvironment::CreateCoreWebView2CompositionControllerWithOptions(
    uint64_t parentWindow, const webview::ControllerOptions& options,
    webview::CompositionControllerCompletedHandler handler) {
  if (settings_.headless || settings_.embedder == nullptr || parentWindow == 0) return false;
  CreateCoreWebView2ControllerWithOptions(
      parentWindow, options,
      [handler = std::move(handler)](
          const webview::CreationResult& result,
          const std::shared_ptr<webview::WebViewController>& controller) {
        auto chromium = std::dynamic_pointer_cast<ChromiumController>(controller);
        if (!result.succeeded || !chromium) {
          handler(result, nullptr);
          return;
        }
        handler(result, std::make_shared<ChromiumCompositionController>(std::move(chromium)));
      });
  return true;
}

}  // namespace tavrelle::chromium
