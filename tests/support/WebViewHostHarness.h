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
  WebViewHostHarness() { config.name = "game"; }

  // Builds the host from `config` (change it before calling).
  ZephyxWebView& create() {
    const Rect outer = AdjustForFrame({0, 0, 800, 600}, window_style::kOverlappedWindow);
    window_ = std::make_unique<FakeMainWindow>(
        WindowOfOuterSize(outer.width(), outer.height(), window_style::kOverlappedWindow),
        [](const WindowEvent&) { return WindowProcResult::Default; }, log);
    WebViewHostSetup setup{.config = &config,
                           .bundle = &bundle,
                           .extensionManager = &extensions,
                           .window = window_.get(),
                           .appFolder = "/opt/game/",
                           .webRoot = "www/",
                           .userDataFolder = "/home/player/.local/share/game",
                           .contentOrigin = contentOrigin,
                           .browserExecutableFolder = std::nullopt,
                           .bundleFile = nullptr};
    WebViewHostPorts ports;
    ports.shellOpen = [this](const std::string& target) { shellOpened.push_back(target); };
    ports.setEnvironmentVariable = [this](const std::string& name, const std::string& value) {
      log->add("setEnvironmentVariable");
      environmentVariables.emplace_back(name, value);
    };
    ports.showMessageBox = [this](const std::string& text, const std::string& caption,
                                  MessageBoxIcon icon) {
      messageBoxes.push_back({text, caption, icon});
    };
    ports.endMainLoop = [this](int exitCode) { loopEndCodes.push_back(exitCode); };
    host_ = std::make_unique<ZephyxWebView>(std::move(setup), runtime, std::move(ports));
    extensions.attachWebViewHost(host_.get());
    return *host_;
  }
  // Builds the host, runs Init and completes environment and controller.
  ZephyxWebView& createAndComplete() {
    create().Init();
    runtime.completeCreation();
    return *host_;
  }

  [[nodiscard]] ZephyxWebView& host() { return *host_; }
  [[nodiscard]] FakeMainWindow& window() { return *window_; }
  [[nodiscard]] FakeWebViewController& controller() { return *runtime.controller(); }
  [[nodiscard]] FakeWebView& webView() { return *runtime.webView(); }
  [[nodiscard]] const std::vector<std::string>& posted() { return webView().posted; }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  AppConfig config;
  std::string contentOrigin = "https://tavrelle.localhost/";
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
