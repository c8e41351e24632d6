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
// "<object>.<operation>" (settings also with their value, "settings.DevTools=false"),
// and tests raise every event and complete every creation by hand.

class FakeWebViewSettings final : public webview::WebViewSettings {
 public:
  explicit FakeWebViewSettings(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  void put_IsScriptEnabled(bool enabled) override { record("ScriptEnabled", enabled); }
  void put_AreHostObjectsAllowed(bool allowed) override { record("HostObjectsAllowed", allowed); }
  void put_AreDefaultScriptDialogsEnabled(bool enabled) override {
    record("DefaultScriptDialogsEnabled", enabled);
  }
  void put_IsWebMessageEnabled(bool enabled) override { record("WebMessageEnabled", enabled); }
  void put_IsZoomControlEnabled(bool enabled) override { record("ZoomControlEnabled", enabled); }
  void put_AreDefaultContextMenusEnabled(bool enabled) override {
    record("DefaultContextMenusEnabled", enabled);
  }
  void put_AreDevToolsEnabled(bool enabled) override { record("DevToolsEnabled", enabled); }
  void put_AreBrowserAcceleratorKeysEnabled(bool enabled) override {
    record("BrowserAcceleratorKeysEnabled", enabled);
  }
  void put_IsReputationCheckingRequired(bool required) override {
    record("ReputationCheckingRequired", required);
  }
  void put_IsPinchZoomEnabled(bool enabled) override { record("PinchZoomEnabled", enabled); }
  void put_IsSwipeNavigationEnabled(bool enabled) override {
    record("SwipeNavigationEnabled", enabled);
  }

 private:
  void record(const std::string& name, bool value) {
    log_->add("settings." + name + "=" + (value ? "true" : "false"));
  }
  std::shared_ptr<CallLog> log_;
};

class FakeWebView final : public webview::WebView {
 public:
  explicit FakeWebView(std::shared_ptr<CallLog> log);
  ~FakeWebView() override;

  webview::WebViewSettings& get_Settings() override { return settings_; }
  void Navigate(const std::string& uri) override;
  void AddWebResourceRequestedFilter(const std::string& uriPattern,
                                     webview::WebResourceContext context) override;
  void PostWebMessageAsJson(const std::string& json) override;
  void OpenDevToolsWindow() override;
  [[nodiscard]] std::string get_DocumentTitle() const override { return documentTitle; }
  [[nodiscard]] bool get_ContainsFullScreenElement() const override {
    return containsFullScreenElement;
  }

  void add_WebResourceRequested(
      webview::EventHandler<webview::WebResourceRequestedEventArgs> handler) override;
  void add_NavigationStarting(
      webview::EventHandler<webview::NavigationStartingEventArgs> handler) override;
  void add_NewWindowRequested(
      webview::EventHandler<webview::NewWindowRequestedEventArgs> handler) override;
  void add_PermissionRequested(
      webview::EventHandler<webview::PermissionRequestedEventArgs> handler) override;
  void add_WebMessageReceived(
      webview::EventHandler<webview::WebMessageReceivedEventArgs> handler) override;
  void add_ProcessFailed(webview::EventHandler<webview::ProcessFailedEventArgs> handler) override;
  void add_DocumentTitleChanged(webview::SimpleEventHandler handler) override;
  void add_ContainsFullScreenElementChanged(webview::SimpleEventHandler handler) override;
  void add_WindowCloseRequested(webview::SimpleEventHandler handler) override;
  void add_DOMContentLoaded(webview::SimpleEventHandler handler) override;

  // Raising events, as the runtime would.
  webview::WebResourceRequestedEventArgs fireWebResourceRequested(const std::string& uri);
  webview::NavigationStartingEventArgs fireNavigationStarting(const std::string& uri);
  webview::NewWindowRequestedEventArgs fireNewWindowRequested(const std::string& uri);
  webview::PermissionRequestedEventArgs firePermissionRequested(webview::PermissionKind kind);
  void fireWebMessage(const std::string& source, std::optional<std::string> message);
  void fireProcessFailed(webview::ProcessFailedKind kind);
  void fireDocumentTitleChanged(const std::string& title);
  void fireContainsFullScreenElementChanged(bool contains);
  void fireWindowCloseRequested();
  void fireDOMContentLoaded();

  std::string documentTitle;
  bool containsFullScreenElement = false;
  std::vector<std::string> navigations;
  std::vector<std::string> posted;  // every PostWebMessageAsJson text, in order
  std::vector<std::string> filters;
  int devToolsOpened = 0;
  std::function<void()> onDestroyed;

 private:
  std::shared_ptr<CallLog> log_;
  FakeWebViewSettings settings_;
  std::vector<webview::EventHandler<webview::WebResourceRequestedEventArgs>> resourceHandlers_;
  std::vector<webview::EventHandler<webview::NavigationStartingEventArgs>> navigationHandlers_;
  std::vector<webview::EventHandler<webview::NewWindowRequestedEventArgs>> newWindowHandlers_;
  std::vector<webview::EventHandler<webview::PermissionRequestedEventArgs>> permissionHandlers_;
  std::vector<webview::EventHandler<webview::WebMessageReceivedEventArgs>> messageHandlers_;
  std::vector<webview::EventHandler<webview::ProcessFailedEventArgs>> processFailedHandlers_;
  std::vector<webview::SimpleEventHandler> titleHandlers_;
  std::vector<webview::SimpleEventHandler> fullscreenHandlers_;
  std::vector<webview::SimpleEventHandler> closeHandlers_;
  std::vector<webview::SimpleEventHandler> contentLoadedHandlers_;
};

class FakeWebViewController final : public webview::WebViewController {
 public:
  explicit FakeWebViewController(std::shared_ptr<CallLog> log);
  ~FakeWebViewController() override;

  webview::WebView& get_CoreWebView2() override { return *webView_; }
  void put_Bounds(Rect bounds) override;
  void put_IsVisible(bool visible) override;
  void MoveFocus(webview::MoveFocusReason reason) override;
  void NotifyParentWindowPositionChanged() override;
  void add_AcceleratorKeyPressed(
      webview::EventHandler<webview::AcceleratorKeyPressedEventArgs> handler) override;

  webview::AcceleratorKeyPressedEventArgs fireAcceleratorKey(webview::KeyEventKind kind,
                                                             uint32_t virtualKey);

  [[nodiscard]] FakeWebView& webView() { return *webView_; }
  std::vector<Rect> bounds;
  std::optional<bool> visible;
  int focusMoves = 0;
  int positionNotices = 0;

 private:
  std::shared_ptr<CallLog> log_;
  std::unique_ptr<FakeWebView> webView_;
  std::vector<webview::EventHandler<webview::AcceleratorKeyPressedEventArgs>> keyHandlers_;
};

class FakeWebViewEnvironment final : public webview::WebViewEnvironment {
 public:
  explicit FakeWebViewEnvironment(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}
  ~FakeWebViewEnvironment() override { log_->add("environment.destroyed"); }

  void CreateCoreWebView2ControllerWithOptions(
      uint64_t parentWindow, const webview::ControllerOptions& options,
      webview::ControllerCompletedHandler handler) override;
  [[nodiscard]] std::string get_BrowserVersionString() const override { return "156.0.0.1"; }

  // Completes the pending controller creation.
  void completeController();
  void failController(const std::string& error, bool withController = false);

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
      const std::optional<std::string>& browserExecutableFolder) override;
  void CreateEnvironmentWithOptions(const std::optional<std::string>& browserExecutableFolder,
                                    const std::string& userDataFolder,
                                    const webview::EnvironmentOptions& options,
                                    webview::EnvironmentCompletedHandler handler) override;

  // Completes the pending environment creation.
  void completeEnvironment();
  void failEnvironment(const std::string& error, bool withEnvironment = false);
  // A runtime that reports success but hands over no environment.
  void completeEnvironmentWithNothing() { std::exchange(pending_, nullptr)({true, ""}, nullptr); }
  // Environment, then controller.
  void completeCreation();

  [[nodiscard]] FakeWebViewEnvironment* environment() const { return environment_.lock().get(); }
  [[nodiscard]] FakeWebViewController* controller() const;
  [[nodiscard]] FakeWebView* webView() const;

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
