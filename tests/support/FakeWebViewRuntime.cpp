#include "support/FakeWebViewRuntime.h"

#include <utility>

namespace tavrelle::test {

namespace {

template <typename Handlers, typename Args>
void Raise(const Handlers& handlers, Args& args) {
  for (const auto& handler : handlers) {
    handler(args);
  }
}

template <typename Handlers>
void Raise(const Handlers& handlers) {
  for (const auto& handler : handlers) {
    handler();
  }
}

}  // namespace

// ----- FakeWebView -----

FakeWebView::FakeWebView(std::shared_ptr<CallLog> log) : log_(log), settings_(log) {}

FakeWebView::~FakeWebView() {
  log_->add("webView.destroyed");
  if (onDestroyed) {
    onDestroyed();
  }
}

void FakeWebView::Navigate(const std::string& uri) {
  log_->add("webView.Navigate");
  navigations.push_back(uri);
}

void FakeWebView::AddWebResourceRequestedFilter(const std::string& uriPattern,
                                                webview::WebResourceContext context) {
  log_->add("webView.AddWebResourceRequestedFilter");
  filters.push_back(uriPattern + (context == webview::WebResourceContext::All ? " all" : " some"));
}

void FakeWebView::PostWebMessageAsJson(const std::string& json) {
  log_->add("webView.PostWebMessageAsJson");
  posted.push_back(json);
}

void FakeWebView::OpenDevToolsWindow() {
  log_->add("webView.OpenDevToolsWindow");
  ++devToolsOpened;
}

void FakeWebView::add_WebResourceRequested(
    webview::EventHandler<webview::WebResourceRequestedEventArgs> handler) {
  log_->add("webView.add_WebResourceRequested");
  resourceHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_NavigationStarting(
    webview::EventHandler<webview::NavigationStartingEventArgs> handler) {
  log_->add("webView.add_NavigationStarting");
  navigationHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_NewWindowRequested(
    webview::EventHandler<webview::NewWindowRequestedEventArgs> handler) {
  log_->add("webView.add_NewWindowRequested");
  newWindowHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_PermissionRequested(
    webview::EventHandler<webview::PermissionRequestedEventArgs> handler) {
  log_->add("webView.add_PermissionRequested");
  permissionHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_WebMessageReceived(
    webview::EventHandler<webview::WebMessageReceivedEventArgs> handler) {
  log_->add("webView.add_WebMessageReceived");
  messageHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_ProcessFailed(
    webview::EventHandler<webview::ProcessFailedEventArgs> handler) {
  log_->add("webView.add_ProcessFailed");
  processFailedHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_DocumentTitleChanged(webview::SimpleEventHandler handler) {
  log_->add("webView.add_DocumentTitleChanged");
  titleHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_ContainsFullScreenElementChanged(webview::SimpleEventHandler handler) {
  log_->add("webView.add_ContainsFullScreenElementChanged");
  fullscreenHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_WindowCloseRequested(webview::SimpleEventHandler handler) {
  log_->add("webView.add_WindowCloseRequested");
  closeHandlers_.push_back(std::move(handler));
}

void FakeWebView::add_DOMContentLoaded(webview::SimpleEventHandler handler) {
  log_->add("webView.add_DOMContentLoaded");
  contentLoadedHandlers_.push_back(std::move(handler));
}

webview::WebResourceRequestedEventArgs FakeWebView::fireWebResourceRequested(
    const std::string& uri) {
  webview::WebResourceRequestedEventArgs args({uri, "GET", {}},
                                              webview::WebResourceContext::Document);
  Raise(resourceHandlers_, args);
  return args;
}

webview::NavigationStartingEventArgs FakeWebView::fireNavigationStarting(const std::string& uri) {
  webview::NavigationStartingEventArgs args(uri);
  Raise(navigationHandlers_, args);
  return args;
}

webview::NewWindowRequestedEventArgs FakeWebView::fireNewWindowRequested(const std::string& uri) {
  webview::NewWindowRequestedEventArgs args(uri);
  Raise(newWindowHandlers_, args);
  return args;
}

webview::PermissionRequestedEventArgs FakeWebView::firePermissionRequested(
    webview::PermissionKind kind) {
  webview::PermissionRequestedEventArgs args("https://tavrelle.localhost/index.html", kind);
  Raise(permissionHandlers_, args);
  return args;
}

void FakeWebView::fireWebMessage(const std::string& source, std::optional<std::string> message) {
  webview::WebMessageReceivedEventArgs args(source, std::move(message));
  Raise(messageHandlers_, args);
}

void FakeWebView::fireProcessFailed(webview::ProcessFailedKind kind) {
  webview::ProcessFailedEventArgs args(kind, "gone");
  Raise(processFailedHandlers_, args);
}

void FakeWebView::fireDocumentTitleChanged(const std::string& title) {
  documentTitle = title;
  Raise(titleHandlers_);
}

void FakeWebView::fireContainsFullScreenElementChanged(bool contains) {
  containsFullScreenElement = contains;
  Raise(fullscreenHandlers_);
}

void FakeWebView::fireWindowCloseRequested() { Raise(closeHandlers_); }

void FakeWebView::fireDOMContentLoaded() { Raise(contentLoadedHandlers_); }

// ----- FakeWebViewController -----

FakeWebViewController::FakeWebViewController(std::shared_ptr<CallLog> log)
    : log_(log), webView_(std::make_unique<FakeWebView>(log)) {}

FakeWebViewController::~FakeWebViewController() {
  webView_.reset();
  log_->add("controller.destroyed");
}

void FakeWebViewController::put_Bounds(Rect rect) {
  log_->add("controller.put_Bounds");
  bounds.push_back(rect);
}

void FakeWebViewController::put_IsVisible(bool isVisible) {
  log_->add("controller.put_IsVisible");
  visible = isVisible;
}

void FakeWebViewController::MoveFocus(webview::MoveFocusReason reason) {
  log_->add(reason == webview::MoveFocusReason::Programmatic ? "controller.MoveFocus"
                                                             : "controller.MoveFocus(other)");
  ++focusMoves;
}

void FakeWebViewController::NotifyParentWindowPositionChanged() {
  log_->add("controller.NotifyParentWindowPositionChanged");
  ++positionNotices;
}

void FakeWebViewController::add_AcceleratorKeyPressed(
    webview::EventHandler<webview::AcceleratorKeyPressedEventArgs> handler) {
  log_->add("controller.add_AcceleratorKeyPressed");
  keyHandlers_.push_back(std::move(handler));
}

webview::AcceleratorKeyPressedEventArgs FakeWebViewController::fireAcceleratorKey(
    webview::KeyEventKind kind, uint32_t virtualKey) {
  webview::AcceleratorKeyPressedEventArgs args(kind, virtualKey);
  Raise(keyHandlers_, args);
  return args;
}

// ----- FakeWebViewEnvironment -----

void FakeWebViewEnvironment::CreateCoreWebView2ControllerWithOptions(
    uint64_t parent, const webview::ControllerOptions& controllerOptions,
    webview::ControllerCompletedHandler handler) {
  log_->add("environment.CreateController");
  parentWindow = parent;
  options = controllerOptions;
  pending_ = std::move(handler);
}

void FakeWebViewEnvironment::completeController() {
  auto controller = std::make_shared<FakeWebViewController>(log_);
  controller_ = controller;
  std::exchange(pending_, nullptr)({true, ""}, std::move(controller));
}

void FakeWebViewEnvironment::failController(const std::string& error, bool withController) {
  std::shared_ptr<FakeWebViewController> controller;
  if (withController) {
    controller = std::make_shared<FakeWebViewController>(log_);
  }
  std::exchange(pending_, nullptr)({false, error}, std::move(controller));
}

// ----- FakeWebViewRuntime -----

std::optional<std::string> FakeWebViewRuntime::GetAvailableBrowserVersionString(
    const std::optional<std::string>& folder) {
  log_->add("runtime.GetAvailableBrowserVersionString");
  versionQueries.push_back(folder);
  return folder ? fixedVersion : installedVersion;
}

void FakeWebViewRuntime::CreateEnvironmentWithOptions(
    const std::optional<std::string>& folder, const std::string& dataFolder,
    const webview::EnvironmentOptions& options, webview::EnvironmentCompletedHandler handler) {
  log_->add("runtime.CreateEnvironment");
  ++environmentRequests;
  browserExecutableFolder = folder;
  userDataFolder = dataFolder;
  environmentOptions = options;
  pending_ = std::move(handler);
}

void FakeWebViewRuntime::completeEnvironment() {
  auto environment = std::make_shared<FakeWebViewEnvironment>(log_);
  environment_ = environment;
  std::exchange(pending_, nullptr)({true, ""}, std::move(environment));
}

void FakeWebViewRuntime::failEnvironment(const std::string& error, bool withEnvironment) {
  std::shared_ptr<FakeWebViewEnvironment> environment;
  if (withEnvironment) {
    environment = std::make_shared<FakeWebViewEnvironment>(log_);
  }
  std::exchange(pending_, nullptr)({false, error}, std::move(environment));
}

void FakeWebViewRuntime::completeCreation() {
  completeEnvironment();
  environment()->completeController();
}

FakeWebViewController* FakeWebViewRuntime::controller() const {
  FakeWebViewEnvironment* environment = environment_.lock().get();
  return environment != nullptr ? environment->controller() : nullptr;
}

FakeWebView* FakeWebViewRuntime::webView() const {
  FakeWebViewController* controller = this->controller();
  return controller != nullptr ? &controller->webView() : nullptr;
}

}  // namespace tavrelle::test
