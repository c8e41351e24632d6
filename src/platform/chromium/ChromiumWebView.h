#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/chromium/ChromiumSettings.h"
#include "platform/chromium/PageReports.h"
#include "platform/chromium/ExecutionContexts.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {
class IoEventLoop;
}  // namespace tavrelle

namespace tavrelle::chromium {

class BrowserConnection;
class LoopbackUploadReceiver;
class DevToolsClient;
class PageMessaging;
class PageSessions;
class PreparationLatch;
class RequestInterception;
struct DevToolsReply;

// The web view over one browser's app page. Owns the browser: destroying the web view
// closes it in order.
class ChromiumWebView final : public webview::WebView {
 public:
  struct Target {
    std::string targetId;   // the app page (also its main frame's id)
    std::string sessionId;  // its flat DevTools session
  };

  // As long as the browser has to start the page's renderer and prepare it.
  static constexpr auto kPreparationTimeout = std::chrono::milliseconds(15000);

  ChromiumWebView(IoEventLoop& loop, std::unique_ptr<BrowserConnection> browser, Target page,
                  Rgb background);
  ~ChromiumWebView() override;
  ChromiumWebView(const ChromiumWebView&) = delete;
  ChromiumWebView& operator=(const ChromiumWebView&) = delete;

  // Prepares the page (script, binding, background). onReady runs once the browser knows
  // the page's window, with an error text on failure; the preparation goes on in the
  // page's renderer meanwhile, and navigations wait for it. A failure after onReady is
  // reported as a lost connection.
  void setUp(std::function<void(const std::optional<std::string>& error)> onReady);
  // Accelerator keys the page reported, for the controller.
  void setAcceleratorKeyListener(std::function<void(webview::KeyEventKind, uint32_t)> listener) {
    onAcceleratorKey_ = std::move(listener);
  }
  // The browser window that shows the page, for bounds in headless mode.
  [[nodiscard]] std::optional<int64_t> browserWindowId() const { return windowId_; }
  DevToolsClient& client();
  // The app page's DevTools session (for diagnostics and tests).
  [[nodiscard]] const std::string& pageSessionId() const { return page_.sessionId; }

  // webview::WebView
  webview::WebViewSettings& get_Settings() override { return settings_; }
  void Navigate(const std::string& uri) override;
  void AddWebResourceRequestedFilter(const std::string& uriPattern,
                                     webview::WebResourceContext context) override;
  void PostWebMessageAsJson(const std::string& json) override;
  void PostWebMessageAsJsonWithAdditionalObjects(
      const std::string& json,
      const std::vector<std::optional<webview::WebFileSystemDirectoryHandle>>& objects) override;
  [[nodiscard]] std::string OfferRequestBodyUpload(
      std::shared_ptr<webview::RequestBodySink> sink) override;
  // Opens the browser's developer tools for the page in a window of their own, when
  // the settings allow them; does nothing otherwise.
  void OpenDevToolsWindow() override;
  [[nodiscard]] std::string get_DocumentTitle() const override { return title_; }
  [[nodiscard]] bool get_ContainsFullScreenElement() const override { return fullscreen_; }

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
  void add_FileSystemCallReceived(
      webview::EventHandler<webview::FileSystemCallReceivedEventArgs> handler) override;
  void add_ProcessFailed(webview::EventHandler<webview::ProcessFailedEventArgs> handler) override;
  void add_DocumentTitleChanged(webview::SimpleEventHandler handler) override;
  void add_ContainsFullScreenElementChanged(webview::SimpleEventHandler handler) override;
  void add_WindowCloseRequested(webview::SimpleEventHandler handler) override;
  void add_DOMContentLoaded(webview::SimpleEventHandler handler) override;

 private:
  void listenToBrowser();
  void onPageReport(const std::string& payload, const ExecutionContexts::CallingDocument& caller,
                    bool fromTopDocument);
  void onDocumentReport(PageReport kind, std::string_view data);
  void onAcceleratorReport(std::string_view report);
  void onTopFrameNavigated(const std::string& url);
  void onTopFrameStartedNavigating(const std::string& url);
  // Whether NavigationStarting's handlers cancel a top-level navigation to url.
  bool isCancelledNavigation(const std::string& url);
  void onFileSystemCall(const std::string& call, const std::string& source, bool fromTopDocument);
  void replyWithFile(nlohmann::json reply, const std::string& path);
  void callTopDocument(const std::string& function, nlohmann::json arguments);
  void onTargetCreated(const nlohmann::json& targetInfo);
  void onPageClosed();
  void raiseNewWindow(const std::string& uri, webview::NewWindowRequester requester);
  void raiseProcessFailed(webview::ProcessFailedKind kind, const std::string& description);
  void raiseWindowCloseRequested();
  void applySettingsSoon();
  void applySettings();
  void askPermissionsFor(const std::string& documentUrl);
  void grantGamePermissions(const std::string& origin);
  void whenNavigable(std::function<void()> then);
  void whenBrowserApplied(std::function<void()> then);
  void failSetUp(const std::string& error);

  IoEventLoop& loop_;
  std::unique_ptr<BrowserConnection> browser_;
  Target page_;
  Rgb background_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  ChromiumSettings settings_;
  ChromiumSettings::State appliedSettings_;
  bool settingsUpdatePosted_ = false;
  std::unique_ptr<PageSessions> sessions_;
  std::unique_ptr<RequestInterception> interception_;
  std::unique_ptr<PageMessaging> messaging_;
  std::optional<int64_t> windowId_;
  std::function<void(const std::optional<std::string>&)> onSetUp_;
  bool handedOver_ = false;  // setUp reported success
  // The page's binding, script and background in its renderer; the first navigation waits.
  std::unique_ptr<PreparationLatch> preparation_;

  std::string title_;
  bool fullscreen_ = false;
  bool hostNavigated_ = false;
  std::string startPage_;  // the host's last navigation, where a page that left returns
  bool hostDocumentCommitted_ = false;  // the top frame shows a document the host navigated to
  bool historyReset_ = false;
  bool closeReported_ = false;
  int pendingPermissionUpdates_ = 0;
  std::vector<std::function<void()>> afterPermissions_;
  std::set<std::string> askedOrigins_;
  std::set<std::string> silentlyGranted_;

  std::vector<webview::EventHandler<webview::WebResourceRequestedEventArgs>> resourceRequested_;
  std::vector<webview::EventHandler<webview::NavigationStartingEventArgs>> navigationStarting_;
  std::vector<webview::EventHandler<webview::NewWindowRequestedEventArgs>> newWindowRequested_;
  std::vector<webview::EventHandler<webview::PermissionRequestedEventArgs>> permissionRequested_;
  std::vector<webview::EventHandler<webview::WebMessageReceivedEventArgs>> webMessageReceived_;
  std::vector<webview::EventHandler<webview::ProcessFailedEventArgs>> processFailed_;
  std::vector<webview::EventHandler<webview::FileSystemCallReceivedEventArgs>> fileSystemCalls_;
  std::unique_ptr<LoopbackUploadReceiver> uploads_;  // started with the first upload
  std::vector<webview::SimpleEventHandler> documentTitleChanged_;
  std::vector<webview::SimpleEventHandler> fullScreenElementChanged_;
  std::vector<webview::SimpleEventHandler> windowCloseRequested_;
  std::vector<webview::SimpleEventHandler> domContentLoaded_;
  std::function<void(webview::KeyEventKind, uint32_t)> onAcceleratorKey_;
};

}  // namespace tavrelle::chromium
