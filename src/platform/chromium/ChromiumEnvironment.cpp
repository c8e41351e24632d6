#include "platform/chromium/ChromiumEnvironment.h"

#include <unistd.h>

#include "platform/chromium/BrowserStartup.h"
#include "platform/IoEventLoop.h"

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
  request.launch.windowWidth = kLaunchWidth;
  request.launch.windowHeight = kLaunchHeight;
  request.launch.background = options.defaultBackgroundColor;
  request.parentWindow = parentWindow;
  request.embedder = windowed ? settings_.embedder : nullptr;
  BrowserStartup::begin(loop_, std::move(request), std::move(handler));
}

}  // namespace tavrelle::chromium
