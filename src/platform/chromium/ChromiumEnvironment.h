#pragma once

#include <string>

#include "webview/WebViewRuntime.h"

namespace tavrelle {
class IoEventLoop;
class BrowserWindowEmbedder;
}  // namespace tavrelle

namespace tavrelle::chromium {

// One browser installation with one profile. Its controller starts the browser: the
// window size must be known at launch. A profile serves one running browser, so the
// environment creates one controller.
class ChromiumEnvironment final : public webview::WebViewEnvironment {
 public:
  struct Settings {
    std::string executable;
    std::string version;
    std::string userDataFolder;
    std::string additionalBrowserArguments;
    bool headless = false;
    BrowserWindowEmbedder* embedder = nullptr;
  };

  ChromiumEnvironment(IoEventLoop& loop, Settings settings)
      : loop_(loop), settings_(std::move(settings)) {}

  // Without a parent window (0) or an embedder the browser runs headless.
  void CreateCoreWebView2ControllerWithOptions(
      uint64_t parentWindow, const webview::ControllerOptions& options,
      webview::ControllerCompletedHandler handler) override;
  [[nodiscard]] std::string get_BrowserVersionString() const override { return settings_.version; }

  // The size the browser's window is launched with until the host sets the bounds; the
  // embedder recognises the window by it.
  static constexpr int32_t kLaunchWidth = 800;
  static constexpr int32_t kLaunchHeight = 600;

 private:
  IoEventLoop& loop_;
  Settings settings_;
  bool controllerRequested_ = false;
};

}  // namespace tavrelle::chromium
