#include "support/WebViewHostHarness.h"

namespace tavrelle::test {

WebViewHostHarness::WebViewHostHarness() { config.name = "game"; }

WebViewHostHarness::~WebViewHostHarness() {
  host_.reset();
  window_.reset();
}

ZephyxWebView& WebViewHostHarness::create() {
  MainWindowParams params;
  params.title = config.title;
  params.style = window_style::kOverlappedWindow;
  const Rect outer = AdjustForFrame({0, 0, 800, 600}, params.style, FrameSize{});
  params.outerWidth = outer.width();
  params.outerHeight = outer.height();
  window_ = std::make_unique<FakeMainWindow>(
      params, [](const WindowEvent&) { return WindowProcResult::Default; }, log, FrameSize{},
      Rect{0, 0, 1920, 1080});

  WebViewHostSetup setup;
  setup.config = &config;
  setup.bundle = &bundle;
  setup.extensionManager = &extensions;
  setup.window = window_.get();
  setup.appFolder = "/opt/game/";
  setup.webRoot = "www/";
  setup.userDataFolder = "/home/player/.local/share/game";
  setup.contentOrigin = contentOrigin;
  setup.browserExecutableFolder = browserFolder;

  WebViewHostPorts ports;
  ports.shellOpen = [this](const std::string& target) {
    log->add("shellOpen");
    shellOpened.push_back(target);
  };
  ports.setEnvironmentVariable = [this](const std::string& name, const std::string& value) {
    log->add("setEnvironmentVariable");
    environmentVariables.emplace_back(name, value);
  };
  ports.showMessageBox = [this](const std::string& text, const std::string& caption,
                                MessageBoxIcon icon) {
    log->add("messageBox");
    messageBoxes.push_back({text, caption, icon});
  };
  ports.endMainLoop = [this](int exitCode) {
    log->add("endMainLoop");
    loopEndCodes.push_back(exitCode);
  };
  host_ = std::make_unique<ZephyxWebView>(std::move(setup), runtime, std::move(ports));
  extensions.attachWebViewHost(host_.get());
  return *host_;
}

ZephyxWebView& WebViewHostHarness::createAndComplete() {
  create();
  host_->Init();
  runtime.completeCreation();
  return *host_;
}

}  // namespace tavrelle::test
