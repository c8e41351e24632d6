#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/AppConfig.h"
#include "content/BundleArchive.h"
#include "extensions/ExtensionManager.h"
#include "support/CallLog.h"
#include "support/FakeStartupPorts.h"
#include "support/FakeWebViewRuntime.h"
#include "support/FakeWindowSystem.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle::test {

// A web view host over fakes, as start-up would build it: an 800 x 600 client area in
// a titled window at (100, 50), no bundle, the app origin, nothing created yet.
class WebViewHostHarness {
 public:
  static constexpr const char* kOrigin = "https://tavrelle.localhost/";

  WebViewHostHarness();
  ~WebViewHostHarness();

  // Builds the host from `config` (change it before calling).
  ZephyxWebView& create();
  // Builds the host, runs Init and completes environment and controller.
  ZephyxWebView& createAndComplete();

  void destroyHost() { host_.reset(); }

  [[nodiscard]] ZephyxWebView& host() { return *host_; }
  [[nodiscard]] FakeMainWindow& window() { return *window_; }
  [[nodiscard]] FakeWebViewController& controller() { return *runtime.controller(); }
  [[nodiscard]] FakeWebView& webView() { return *runtime.webView(); }
  // The messages posted to the page, in order.
  [[nodiscard]] const std::vector<std::string>& posted() { return webView().posted; }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  AppConfig config;
  std::string contentOrigin = kOrigin;
  std::optional<std::string> browserFolder;
  BundleArchive bundle;
  ExtensionManager extensions{
      {"/opt/game/", "www/", "/home/player/.local/share/game", "/opt/game/"}, R"({"name":"game"})"};
  FakeWebViewRuntime runtime{log};

  std::vector<MessageBoxCall> messageBoxes;
  std::vector<std::string> shellOpened;
  std::vector<std::pair<std::string, std::string>> environmentVariables;
  std::vector<int> loopEndCodes;

 private:
  std::unique_ptr<FakeMainWindow> window_;
  std::unique_ptr<ZephyxWebView> host_;
};

}  // namespace tavrelle::test
