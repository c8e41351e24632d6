#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/CallLog.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::test {

// Fakes of the web view runtime. Every call is written to a shared CallLog as
// "<object>.<operation>" (settings with their value, "settings.DevToolsEnabled=false");
// tests raise every event (webView.onNavigationStarting.fire(uri)) and complete every
// creation by hand.

// The handlers added for an event with webview::<Name>EventArgs (void: without). fire()
// raises it as the runtime would and hands the arguments back for inspection.
template <typename Args>
struct Handlers {
  using Handler = webview::EventHandler<Args>;
  std::vector<Handler> list;
  template <typename... Params>
  Args fire(Params&&... params) const {
    Args args(std::forward<Params>(params)...);
    for (const auto& handler : list) handler(args);
    return args;
  }
};
template <>
struct Handlers<void> {
  using Handler = webview::SimpleEventHandler;
  std::vector<Handler> list;
  void fire() const {
    for (const auto& handler : list) handler();
  }
};

#define TAVRELLE_FAKE_SETTING(Method, Name)                                    \
  void Method(bool value) override {                                           \
    log_->add(std::string("settings." Name "=") + (value ? "true" : "false")); \
  }

class FakeWebViewSettings final : public webview::WebViewSettings {
 public:
  explicit FakeWebViewSettings(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  TAVRELLE_FAKE_SETTING(put_IsScriptEnabled, "ScriptEnabled")
  TAVRELLE_FAKE_SETTING(put_AreHostObjectsAllowed, "HostObjectsAllowed")
  TAVRELLE_FAKE_SETTING(put_AreDefaultScriptDialogsEnabled, "DefaultScriptDialogsEnabled")
  TAVRELLE_FAKE_SETTING(put_IsWebMessageEnabled, "WebMessageEnabled")
  TAVRELLE_FAKE_SETTING(put_IsZoomControlEnabled, "ZoomControlEnabled")
  TAVRELLE_FAKE_SETTING(put_AreDefaultContextMenusEnabled, "DefaultContextMenusEnabled")
  TAVRELLE_FAKE_SETTING(put_AreDevToolsEnabled, "DevToolsEnabled")
  TAVRELLE_FAKE_SETTING(put_AreBrowserAcceleratorKeysEnabled, "BrowserAcceleratorKeysEnabled")
  TAVRELLE_FAKE_SETTING(put_IsReputationCheckingRequired, "ReputationCheckingRequired")
  TAVRELLE_FAKE_SETTING(put_IsPinchZoomEnabled, "PinchZoomEnabled")
  TAVRELLE_FAKE_SETTING(put_IsSwipeNavigationEnabled, "SwipeNavigationEnabled")

 private:
  std::shared_ptr<CallLog> log_;
};
#undef TAVRELLE_FAKE_SETTING

// An event whose adding is logged as "<kLogName>.add_<Name>".
#define TAVRELLE_FAKE_EVENT(Name, Args)                                \
  void add_##Name(typename Handlers<Args>::Handler handler) override { \
    log_->add(std::string(kLogName) + ".add_" #Name);                  \
    on##Name.list.push_back(std::move(handler));                       \
  }                                                                    \
  Handlers<Args> on##Name;

class FakeWebView final : public webview::WebView {
 public:
  static constexpr const char* kLogName = "webView";
  explicit FakeWebView(std::shared_ptr<CallLog> log) : log_(log), settings_(log) {}
  ~FakeWebView() override {
    log_->add("webView.destroyed");
    if (onDestroyed) onDestroyed();
  }

  webview::WebViewSettings& get_Settings() override { return settings_; }
  void Navigate(const std::string& uri) override {
    log_->add("webView.Navigate");
    navigations.push_back(uri);
  }
  void AddWebResourceRequestedFilter(const std::string& pattern,
                                     webview::WebResourceContext context) override {
    log_->add("webView.AddWebResourceRequestedFilter");
    filters.push_back(pattern + (context == webview::WebResourceContext::All ? " all" : " some"));
  }
  void PostWebMessageAsJson(const std::string& json) override {
    log_->add("webView.PostWebMessageAsJson");
    posted.push_back(json);
  }
  void PostWebMessageAsJsonWithAdditionalObjects(
      const std::string& json,
      const std::vector<std::optional<webview::WebFileSystemDirectoryHandle>>& objects) override {
    log_->add("webView.PostWebMessageAsJsonWithAdditionalObjects");
    posted.push_back(json);
    postedHandles.push_back(objects);
  }
  std::string OfferRequestBodyUpload(std::shared_ptr<webview::RequestBodySink> sink) override {
    uploads.push_back(std::move(sink));
    return "http://127.0.0.1:1/upload-" + std::to_string(uploads.size());
  }
  void OpenDevToolsWindow() override { ++devToolsOpened; }
  [[nodiscard]] std::string get_DocumentTitle() const override { return {}; }
  [[nodiscard]] bool get_ContainsFullScreenElement() const override {
    return containsFullScreenElement;
  }

  TAVRELLE_FAKE_EVENT(WebResourceRequested, webview::WebResourceRequestedEventArgs)
  TAVRELLE_FAKE_EVENT(NavigationStarting, webview::NavigationStartingEventArgs)
  TAVRELLE_FAKE_EVENT(NewWindowRequested, webview::NewWindowRequestedEventArgs)
  TAVRELLE_FAKE_EVENT(PermissionRequested, webview::PermissionRequestedEventArgs)
  TAVRELLE_FAKE_EVENT(WebMessageReceived, webview::WebMessageReceivedEventArgs)
  TAVRELLE_FAKE_EVENT(FileSystemCallReceived, webview::FileSystemCallReceivedEventArgs)
  TAVRELLE_FAKE_EVENT(ProcessFailed, webview::ProcessFailedEventArgs)
  TAVRELLE_FAKE_EVENT(DocumentTitleChanged, void)
  TAVRELLE_FAKE_EVENT(ContainsFullScreenElementChanged, void)
  TAVRELLE_FAKE_EVENT(WindowCloseRequested, void)
  TAVRELLE_FAKE_EVENT(DOMContentLoaded, void)

  void fireContainsFullScreenElementChanged(bool contains) {
    containsFullScreenElement = contains;
    onContainsFullScreenElementChanged.fire();
  }
  void fireDOMContentLoaded() { onDOMContentLoaded.fire(); }

  bool containsFullScreenElement = false;
  std::vector<std::string> navigations;
  std::vector<std::string> posted;  // every PostWebMessageAsJson text, in order
  // The handles of each message posted with additional objects.
  std::vector<std::vector<std::optional<webview::WebFileSystemDirectoryHandle>>> postedHandles;
  std::vector<std::shared_ptr<webview::RequestBodySink>> uploads;  // every offered upload
  std::vector<std::string> filters;
  int devToolsOpened = 0;
  std::function<void()> onDestroyed;

 private:
  std::shared_ptr<CallLog> log_;
  FakeWebViewSettings settings_;
};

class FakeWebViewController final : public webview::WebViewController {
 public:
  static constexpr const char* kLogName = "controller";
  explicit FakeWebViewController(std::shared_ptr<CallLog> log)
      : log_(log), webView_(std::make_unique<FakeWebView>(log)) {}
  ~FakeWebViewController() override {
    webView_.reset();
    log_->add("controller.destroyed");
  }

  webview::WebView& get_CoreWebView2() override { return *webView_; }
  void put_Bounds(Rect rect) override {
    log_->add("controller.put_Bounds");
    bounds.push_back(rect);
  }
  void put_IsVisible(bool visible) override {
    log_->add(visible ? "controller.put_IsVisible" : "controller.put_IsVisible(false)");
  }
  void MoveFocus(webview::MoveFocusReason reason) override {
    log_->add(reason == webview::MoveFocusReason::Programmatic ? "controller.MoveFocus"
                                                               : "controller.MoveFocus(other)");
    ++focusMoves;
  }
  void NotifyParentWindowPositionChanged() override { ++positionNotices; }
  TAVRELLE_FAKE_EVENT(AcceleratorKeyPressed, webview::AcceleratorKeyPressedEventArgs)

  [[nodiscard]] FakeWebView& webView() { return *webView_; }
  std::vector<Rect> bounds;
  int focusMoves = 0;
  int positionNotices = 0;

 private:
  std::shared_ptr<CallLog> log_;
  std::unique_ptr<FakeWebView> webView_;
};

#undef TAVRELLE_FAKE_EVENT

class FakeWebViewEnvironment final : public webview::WebViewEnvironment {
 public:
  explicit FakeWebViewEnvironment(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  ~FakeWebViewEnvironment() override { log_->add("environment.destroyed"); }

  void CreateCoreWebView2ControllerWithOptions(
      uint64_t parent, const webview::ControllerOptions& controllerOptions,
      webview::ControllerCompletedHandler handler) override {
    log_->add("environment.CreateController");
    parentWindow = parent;
    options = controllerOptions;
    pending_ = std::move(handler);
  }
  [[nodiscard]] std::string get_BrowserVersionString() const override { return "156.0.0.1"; }

  void completeController() {
    auto controller = std::make_shared<FakeWebViewController>(log_);
    controller_ = controller;
    std::exchange(pending_, nullptr)({true, ""}, std::move(controller));
  }
  void failController(const std::string& error) {
    std::exchange(pending_, nullptr)({false, error}, nullptr);
  }

  [[nodiscard]] FakeWebViewController* controller() const { return controller_.lock().get(); }
  uint64_t parentWindow = 0;
  webview::ControllerOptions options;

 private:
  std::shared_ptr<CallLog> log_;
  webview::ControllerCompletedHandler pending_;
  std::weak_ptr<FakeWebViewController> controller_;
};

class FakeWebViewRuntime final : public webview::WebViewRuntime {
 public:
  explicit FakeWebViewRuntime(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  [[nodiscard]] std::optional<std::string> GetAvailableBrowserVersionString(
      const std::optional<std::string>& folder) override {
    versionQueries.push_back(folder);
    return folder ? fixedVersion : installedVersion;
  }
  void CreateEnvironmentWithOptions(const std::optional<std::string>& folder,
                                    const std::string& dataFolder,
                                    const webview::EnvironmentOptions& options,
                                    webview::EnvironmentCompletedHandler handler) override {
    log_->add("runtime.CreateEnvironment");
    ++environmentRequests;
    browserExecutableFolder = folder;
    userDataFolder = dataFolder;
    environmentOptions = options;
    pending_ = std::move(handler);
  }

  void completeEnvironment() {
    auto environment = std::make_shared<FakeWebViewEnvironment>(log_);
    environment_ = environment;
    std::exchange(pending_, nullptr)({true, ""}, std::move(environment));
  }
  void failEnvironment(const std::string& error) {
    std::exchange(pending_, nullptr)({false, error}, nullptr);
  }
  void completeCreation() {
    completeEnvironment();
    environment()->completeController();
  }

  [[nodiscard]] FakeWebViewEnvironment* environment() const { return environment_.lock().get(); }
  [[nodiscard]] FakeWebViewController* controller() const {
    return environment() != nullptr ? environment()->controller() : nullptr;
  }
  [[nodiscard]] FakeWebView* webView() const {
    return controller() != nullptr ? &controller()->webView() : nullptr;
  }

  // Versions reported for an installed runtime and for a fixed folder; nothing: none there.
  std::optional<std::string> installedVersion = "156.0.8078.129";
  std::optional<std::string> fixedVersion = "156.0.8078.129";
  std::vector<std::optional<std::string>> versionQueries;
  std::optional<std::string> browserExecutableFolder;
  std::string userDataFolder;
  webview::EnvironmentOptions environmentOptions;
  int environmentRequests = 0;

 private:
  std::shared_ptr<CallLog> log_;
  webview::EnvironmentCompletedHandler pending_;
  std::weak_ptr<FakeWebViewEnvironment> environment_;
};

}  // namespace tavrelle::test
