#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/chromium/BrowserCommandLine.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {
class IoEventLoop;
class BrowserWindowEmbedder;
}  // namespace tavrelle

namespace tavrelle::chromium {

// Creates one controller: launches the browser, finds and attaches its app page,
// prepares the page, and only then completes, through the main loop, with the
// controller or with the reason it failed.
class BrowserStartup {
 public:
  struct Request {
    BrowserLaunchSettings launch;
    uint64_t parentWindow = 0;
    BrowserWindowEmbedder* embedder = nullptr;  // null: headless
  };

  static void begin(IoEventLoop& loop, Request request,
                    webview::ControllerCompletedHandler onCompleted);

  // How long the browser may take to show its app page and accept the setup.
  static constexpr auto kStartupTimeout = std::chrono::seconds(15);
};

}  // namespace tavrelle::chromium
