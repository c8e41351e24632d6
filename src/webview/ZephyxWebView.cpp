#include "webview/ZephyxWebView.h"

#include <utility>

#include "app/AppOrigin.h"
#include "app/DefaultCaption.h"
#include "content/ResourceServer.h"
#include "extensions/ExtensionManager.h"
#include "visual/VisualHostingManager.h"
#include "messaging/DirectoryHandles.h"
#include "platform/Folders.h"

namespace tavrelle {

namespace {

constexpr const char* kForcedHostingModeVariable = "COREWEBVIEW2_FORCED_HOSTING_MODE";
constexpr const char* kWindowToVisualHostingMode = "COREWEBVIEW2_HOSTING_MODE_WINDOW_TO_VISUAL";
constexpr const char* kTargetCompatibleBrowserVersion = "152.0.4191.47";

constexpr const char* kCreationFailedText = "Failed to start the web view runtime: ";
constexpr const char* kCreationFailedWithoutReason = "no web view was created";
constexpr int kCreationFailedExitCode = 1;
// Where the bodies of files the page reads through its handles are served.
constexpr std::string_view kFileBodyPath = "__tavrelle/file/";

DirectoryHandles::Setup DirectoryHandlesSetup(const std::string& appFolder,
                                              const std::string& webRoot,
                                              const std::string& userDataFolder,
                                              const std::string& contentOrigin) {
  DirectoryHandles::Setup handles;
  handles.folders = {appFolder, webRoot, userDataFolder, GetKnownFolderPath};
  handles.contentOrigin = contentOrigin;
  handles.bodyAddressPrefix = std::string(AppOrigin) + std::string(kFileBodyPath);
  return handles;
}

}  // namespace

ZephyxWebView::ZephyxWebView(WebViewHostSetup setup, webview::WebViewRuntime& runtime,
                             WebViewHostPorts ports)
    : config_(setup.config),
      bundle_(setup.bundle),
      extensionManager_(setup.extensionManager),
      window_(setup.window),
      appFolder_(std::move(setup.appFolder)),
      webRoot_(std::move(setup.webRoot)),
      userDataFolder_(std::move(setup.userDataFolder)),
      contentOrigin_(std::move(setup.contentOrigin)),
      browserExecutableFolder_(std::move(setup.browserExecutableFolder)),
      runtime_(runtime),
      ports_(std::move(ports)),
      resourceServer_(std::make_unique<ResourceServer>(contentOrigin_, appFolder_ + webRoot_,
                                                       *bundle_, std::move(setup.bundleFile))),
      directoryHandles_(std::make_unique<DirectoryHandles>(
          DirectoryHandlesSetup(appFolder_, webRoot_, userDataFolder_, contentOrigin_),
          folderTable_)),
      channel_(contentOrigin_),
      windowCommands_(*window_, channel_, [this] { FocusPage(); }),
      pointerLock_(*window_, channel_) {
  // The folder handles are the first message of every handshake.
  channel_.addHandshakeStep([this] {
    if (webView_ != nullptr) directoryHandles_->send(*webView_);
  });
  // Compared in this order: the handshake, window commands, pointer lock, extensions.
  windowCommands_.AddHandlersTo(channel_);
  pointerLock_.AddHandlersTo(channel_);
  extensionManager_->AddHandlersTo(channel_);
}

// The web view belongs to the controller and goes first; the controller is never closed
// explicitly, releasing it is enough.
ZephyxWebView::~ZephyxWebView() {
  directoryHandles_.reset();
  folderTable_.clear();
  resourceServer_.reset();
  webView_ = nullptr;
  visualHostingManager_.reset();
  compositionController_.reset();
  controller_.reset();
  environment_.reset();
}

void ZephyxWebView::Init() {
  if (config_->hostingMode == HostingMode::WindowToVisual) {
    ports_.setEnvironmentVariable(kForcedHostingModeVariable, kWindowToVisualHostingMode);
  }
  webview::EnvironmentOptions options;
  options.additionalBrowserArguments = config_->chromiumArgs;
  options.targetCompatibleBrowserVersion = kTargetCompatibleBrowserVersion;
  runtime_.CreateEnvironmentWithOptions(
      browserExecutableFolder_, userDataFolder_, options,
      [this](const webview::CreationResult& result,
             std::shared_ptr<webview::WebViewEnvironment> environment) {
        OnEnvironmentCreated(result, std::move(environment));
      });
}

// Visual hosting mode asks for a composition controller; every other mode, and a runtime
// that offers none, gets a windowed controller.
void ZephyxWebView::OnEnvironmentCreated(const webview::CreationResult& result,
                                         std::shared_ptr<webview::WebViewEnvironment> environment) {
  if (!result.succeeded || !environment) {
    FailCreation(result);
    return;
  }
  environment_ = std::move(environment);
  webview::ControllerOptions options;
  options.allowHostInputProcessing = config_->allowHostInputProcessing;
  options.defaultBackgroundColor = config_->backgroundColor;
  if (config_->hostingMode == HostingMode::Visual && RequestCompositionController(options)) {
    return;
  }
  environment_->CreateCoreWebView2ControllerWithOptions(
      window_->nativeHandle(), options,
      [this](const webview::CreationResult& controllerResult,
             std::shared_ptr<webview::WebViewController> controller) {
        OnControllerCreated(controllerResult, std::move(controller));
      });
}

void ZephyxWebView::OnControllerCreated(const webview::CreationResult& result,
                                        std::shared_ptr<webview::WebViewController> controller) {
  if (!result.succeeded || !controller) {
    FailCreation(result);
    return;
  }
  controller_ = std::move(controller);
  InitWithController();
}

// The window is still hidden and would never be shown: say why and end the app.
void ZephyxWebView::FailCreation(const webview::CreationResult& result) {
  const std::string reason = result.error.empty() ? kCreationFailedWithoutReason : result.error;
  ports_.showMessageBox(kCreationFailedText + reason, kDefaultCaption, MessageBoxIcon::Error);
  ports_.endMainLoop(kCreationFailedExitCode);
}

void ZephyxWebView::InitWithController() {
  webView_ = &controller_->get_CoreWebView2();
  channel_.attachWebView(webView_);
  ApplySettings();
  TakeOverAcceleratorKeys();
  ApplyInputSettings();
  controller_->put_Bounds(window_->clientRect());
  webView_->add_DocumentTitleChanged([this] { OnDocumentTitleChanged(); });
  if (config_->contentMode == ContentMode::Bundle) {
    RegisterRequestInterception();
  }
  RegisterPageEventHandlers();
  NavigateToStartPage();
}

void ZephyxWebView::ApplySettings() {
  auto& settings = webView_->get_Settings();
  settings.put_IsScriptEnabled(true);
  settings.put_AreHostObjectsAllowed(false);
  settings.put_AreDefaultScriptDialogsEnabled(true);
  settings.put_IsWebMessageEnabled(true);
  settings.put_IsZoomControlEnabled(false);
  settings.put_AreDefaultContextMenusEnabled(true);
  settings.put_AreDevToolsEnabled(config_->enableDevtools);
}

// With the browser's own shortcuts off, F12 is left to the host's handler.
void ZephyxWebView::TakeOverAcceleratorKeys() {
  webView_->get_Settings().put_AreBrowserAcceleratorKeysEnabled(false);
  controller_->add_AcceleratorKeyPressed(
      [this](webview::AcceleratorKeyPressedEventArgs& args) { OnAcceleratorKeyPressed(args); });
}

void ZephyxWebView::ApplyInputSettings() {
  auto& settings = webView_->get_Settings();
  settings.put_IsReputationCheckingRequired(false);
  settings.put_IsPinchZoomEnabled(false);
  settings.put_IsSwipeNavigationEnabled(false);
}

void ZephyxWebView::RegisterRequestInterception() {
  webView_->AddWebResourceRequestedFilter(contentOrigin_ + "*", webview::WebResourceContext::All);
  webView_->add_WebResourceRequested(
      [this](webview::WebResourceRequestedEventArgs& args) { OnWebResourceRequested(args); });
  webView_->add_NavigationStarting(
      [this](webview::NavigationStartingEventArgs& args) { OnNavigationStarting(args); });
}

void ZephyxWebView::RegisterPageEventHandlers() {
  webView_->add_PermissionRequested(
      [this](webview::PermissionRequestedEventArgs& args) { OnPermissionRequested(args); });
  webView_->add_ContainsFullScreenElementChanged([this] { OnContainsFullScreenElementChanged(); });
  webView_->add_WindowCloseRequested([this] { OnWindowCloseRequested(); });
  webView_->add_NewWindowRequested(
      [this](webview::NewWindowRequestedEventArgs& args) { OnNewWindowRequested(args); });
  webView_->add_WebMessageReceived(
      [this](webview::WebMessageReceivedEventArgs& args) { channel_.OnWebMessageReceived(args); });
  webView_->add_DOMContentLoaded([this] { OnDOMContentLoaded(); });
  webView_->add_FileSystemCallReceived([this](webview::FileSystemCallReceivedEventArgs& args) {
    directoryHandles_->handleCall(args, *webView_);
  });
  webView_->add_ProcessFailed(
      [this](webview::ProcessFailedEventArgs& args) { OnProcessFailed(args); });
}

void ZephyxWebView::NavigateToStartPage() {
  if (config_->contentMode == ContentMode::Remote) {
    webView_->Navigate(config_->main);
  } else {
    webView_->Navigate(contentOrigin_ + config_->main);
  }
}

void ZephyxWebView::ReleaseMappedFiles() { resourceServer_->releaseMappedFiles(); }

}  // namespace tavrelle
