#include "platform/chromium/ChromiumWebView.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "platform/chromium/BrowserConnection.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/DevToolsClient.h"
#include "platform/chromium/LoopbackUploadReceiver.h"
#include "platform/chromium/PageMessaging.h"
#include "platform/chromium/PageScript.h"
#include "platform/chromium/PageSessions.h"
#include "platform/chromium/PermissionNames.h"
#include "platform/chromium/PreparationLatch.h"
#include "platform/chromium/RequestInterception.h"
#include "platform/IoEventLoop.h"
#include "common/UrlOrigin.h"
#include "platform/chromium/PageReports.h"

namespace tavrelle::chromium {

using webview::KeyEventKind;

namespace {

// Raises an event to every handler, in registration order.
template <typename Handlers, typename... Args>
void raise(const Handlers& handlers, Args&... args) {
  for (const auto& handler : handlers) handler(args...);
}

std::optional<std::string> failureText(const DevToolsReply& reply, const char* step) {
  if (reply.ok) return std::nullopt;
  return std::string(step) + ": " + reply.errorMessage;
}

}  // namespace

ChromiumWebView::ChromiumWebView(IoEventLoop& loop, std::unique_ptr<BrowserConnection> browser,
                                 Target page, Rgb background)
    : loop_(loop),
      browser_(std::move(browser)),
      page_(std::move(page)),
      background_(background),
      settings_([this] { applySettingsSoon(); }) {
  PageSessions::Events events;
  events.pageReport = [this](const std::string& payload,
                             const ExecutionContexts::CallingDocument& caller,
                             bool top) { onPageReport(payload, caller, top); };
  events.topDomContentLoaded = [this] {
    // The blank launch page is no document of the host's; its events may still arrive
    // after the host asked for its first page.
    if (hostDocumentCommitted_) raise(domContentLoaded_);
  };
  events.topFrameNavigated = [this](const std::string& url) {
    if (hostNavigated_ && !quirks::isBlankAppPage(url) && !hostDocumentCommitted_) {
      hostDocumentCommitted_ = true;
      browser_->releaseLaunchPage();
    }
    onTopFrameNavigated(url);
  };
  events.topFrameStartedNavigating = [this](const std::string& url) {
    onTopFrameStartedNavigating(url);
  };
  events.windowOpening = [this](const std::string& url, bool userGesture) {
    // The browser names no frame: only a gesture can vouch for it.
    raiseNewWindow(url, webview::NewWindowRequester{{}, false, userGesture});
  };
  sessions_ =
      std::make_unique<PageSessions>(client(), page_.targetId, page_.sessionId, std::move(events));

  RequestInterception::Handlers handlers;
  handlers.resourceRequested = [this](webview::WebResourceRequestedEventArgs& args) {
    if (resourceRequested_.empty()) return false;
    raise(resourceRequested_, args);
    return true;
  };
  handlers.navigationStarting = [this](webview::NavigationStartingEventArgs& args) {
    if (navigationStarting_.empty()) return false;
    raise(navigationStarting_, args);
    return true;
  };
  handlers.wantsNavigationStarting = [this] { return !navigationStarting_.empty(); };
  interception_ = std::make_unique<RequestInterception>(client(), std::move(handlers));
  messaging_ = std::make_unique<PageMessaging>(
      loop_, client(), *sessions_,
      [this](const ExecutionContexts::CallingDocument& sender, std::optional<std::string> message) {
        webview::WebMessageReceivedEventArgs args(sender.source, std::move(message));
        raise(webMessageReceived_, args);
      });
  interception_->setTopFrameId(page_.targetId);

  browser_->setFailureHandler([this](const BrowserConnection::Failure& failure) {
    raiseProcessFailed(failure.kind, failure.description);
  });
  listenToBrowser();
}

ChromiumWebView::~ChromiumWebView() {
  alive_.reset();
  // The browser closes first: nothing it still sends may reach the parts below.
  browser_->close();
}

DevToolsClient& ChromiumWebView::client() { return browser_->client(); }

void ChromiumWebView::listenToBrowser() {
  client().on("Target.targetCreated", [this](const Json& params, const std::string& sessionId) {
    if (sessionId.empty() && params.contains("targetInfo")) onTargetCreated(params["targetInfo"]);
  });
  client().on("Target.targetDestroyed", [this](const Json& params, const std::string& sessionId) {
    if (sessionId.empty() && params.value("targetId", std::string()) == page_.targetId)
      onPageClosed();
  });
  client().on("Target.targetCrashed", [this](const Json& params, const std::string& sessionId) {
    if (!sessionId.empty() || params.value("targetId", std::string()) != page_.targetId) return;
    raiseProcessFailed(
        webview::ProcessFailedKind::RenderProcessExited,
        "the page's renderer ended (" + params.value("status", std::string("crashed")) + ")");
  });
}

void ChromiumWebView::setUp(std::function<void(const std::optional<std::string>& error)> onReady) {
  onSetUp_ = std::move(onReady);
  appliedSettings_ = settings_.state();
  preparation_ = std::make_unique<PreparationLatch>(
      loop_, kPreparationTimeout, "the browser did not accept the page setup in time",
      [this](const std::string& error) { failSetUp(error); });
  sessions_->setUp(
      pageScriptSource(appliedSettings_.page, sessions_->reportKey(), messaging_->socketAddress()),
      [step = preparation_->expect()](const DevToolsReply& reply) mutable {
        step(failureText(reply, "the page could not be prepared"));
      });
  Json colour = {
      {"r", background_.red}, {"g", background_.green}, {"b", background_.blue}, {"a", 1}};
  client().send("Emulation.setDefaultBackgroundColorOverride", {{"color", colour}}, page_.sessionId,
                [step = preparation_->expect()](const DevToolsReply& reply) mutable {
                  step(failureText(reply, "the background could not be set"));
                });
  client().send("Browser.getWindowForTarget", {{"targetId", page_.targetId}}, {},
                [this](const DevToolsReply& reply) {
                  if (!reply.ok)
                    return failSetUp(*failureText(reply, "the page's window is unknown"));
                  windowId_ = reply.result.value("windowId", int64_t{0});
                  if (auto report = std::exchange(onSetUp_, nullptr)) {
                    handedOver_ = true;
                    report(std::nullopt);
                  }
                });
}

void ChromiumWebView::failSetUp(const std::string& error) {
  if (auto report = std::exchange(onSetUp_, nullptr)) return report(error);
  if (!handedOver_) return;  // the set-up's failure has been reported already
  // The page would never show the game: the host learns it as a lost connection.
  raiseProcessFailed(webview::ProcessFailedKind::ConnectionLost, error);
}

// ----- Navigation and requests -----

void ChromiumWebView::whenNavigable(std::function<void()> then) {
  // The page's preparation and any change of its script must be in force in the
  // renderer, and interception and permissions in the browser, before the page can ask
  // for anything.
  preparation_->whenDone([this, then = std::move(then)]() mutable {
    sessions_->whenSettled(
        [this, then = std::move(then)]() mutable { whenBrowserApplied(std::move(then)); });
  });
}

void ChromiumWebView::whenBrowserApplied(std::function<void()> then) {
  interception_->whenApplied([this, then = std::move(then)]() mutable {
    if (pendingPermissionUpdates_ == 0) {
      then();
    } else {
      afterPermissions_.push_back(std::move(then));
    }
  });
}

void ChromiumWebView::Navigate(const std::string& uri) {
  hostNavigated_ = true;
  startPage_ = uri;
  grantGamePermissions(urlOrigin(uri));
  askPermissionsFor(uri);
  std::weak_ptr<bool> alive = alive_;
  whenNavigable([this, alive, uri] {
    if (!alive.lock()) return;
    client().send("Page.navigate", {{"url", uri}}, page_.sessionId,
                  [uri](const DevToolsReply& reply) {
                    if (!reply.ok) {
                      std::fprintf(stderr, "tavrelle: navigating to %s failed: %s\n", uri.c_str(),
                                   reply.errorMessage.c_str());
                    }
                  });
  });
}

void ChromiumWebView::onTopFrameNavigated(const std::string& url) {
  if (!hostDocumentCommitted_) return;
  if (isCancelledNavigation(url)) {
    // A navigation that made no request (about:blank, blob: ...) got past the checks
    // and left the app: the game starts again from its start page.
    std::fprintf(stderr, "tavrelle: the page left for %.200s; back to the start page\n",
                 url.c_str());
    client().send("Page.navigate", {{"url", startPage_}}, page_.sessionId);
    return;
  }
  askPermissionsFor(url);
  // The launch page stays in the history after the host's first navigation; while the
  // history holds two entries the browser ignores window.close(), and "back" would
  // show the blank page.
  if (historyReset_) return;
  historyReset_ = true;
  client().send("Page.resetNavigationHistory", {}, page_.sessionId);
}

bool ChromiumWebView::isCancelledNavigation(const std::string& url) {
  if (navigationStarting_.empty() || quirks::isBlankAppPage(url)) return false;
  webview::NavigationStartingEventArgs args(url);
  raise(navigationStarting_, args);
  return args.get_Cancel();
}

void ChromiumWebView::onTopFrameStartedNavigating(const std::string& url) {
  // Requests over the network are paused and asked about by the interception; these
  // make none, so they are asked about here and stopped before they commit.
  if (!hostDocumentCommitted_ || url.starts_with("http://") || url.starts_with("https://")) return;
  if (isCancelledNavigation(url)) client().send("Page.stopLoading", {}, page_.sessionId);
}

void ChromiumWebView::AddWebResourceRequestedFilter(const std::string& uriPattern,
                                                    webview::WebResourceContext context) {
  interception_->addFilter(uriPattern, context);
  // Bodies of the host's origins may come through the loopback side channel.
  grantGamePermissions(urlOrigin(uriPattern));
}

void ChromiumWebView::add_WebResourceRequested(
    webview::EventHandler<webview::WebResourceRequestedEventArgs> handler) {
  resourceRequested_.push_back(std::move(handler));
}

void ChromiumWebView::add_NavigationStarting(
    webview::EventHandler<webview::NavigationStartingEventArgs> handler) {
  navigationStarting_.push_back(std::move(handler));
  if (navigationStarting_.size() == 1) interception_->updateBrowserPatterns();
}

// ----- Messages -----

void ChromiumWebView::callTopDocument(const std::string& function, Json arguments) {
  // Messages batched earlier in this turn reach the page first, in the order posted.
  messaging_->flush();
  auto context = sessions_->topDocumentContext();
  if (!context) return;  // no document yet: the message has no one to reach
  Json values = Json::array();
  for (auto& argument : arguments) values.push_back(Json{{"value", std::move(argument)}});
  client().send("Runtime.callFunctionOn",
                {{"functionDeclaration", function},
                 {"executionContextId", *context},
                 {"arguments", std::move(values)}},
                page_.sessionId);
}

void ChromiumWebView::PostWebMessageAsJson(const std::string& json) {
  // Checked, not parsed: the text goes to the browser as it stands (valid JSON is valid
  // UTF-8 too).
  if (!Json::accept(json)) {
    std::fprintf(stderr, "tavrelle: not posted to the page, not JSON: %.80s\n", json.c_str());
    return;
  }
  messaging_->post(json);
}

void ChromiumWebView::PostWebMessageAsJsonWithAdditionalObjects(
    const std::string& json,
    const std::vector<std::optional<webview::WebFileSystemDirectoryHandle>>& objects) {
  Json value = Json::parse(json, nullptr, false);
  if (value.is_discarded()) return;
  // The page script makes the handles from these grants.
  Json grants = Json::array();
  for (const auto& object : objects) {
    grants.push_back(object ? Json{{"grant", object->grant}, {"name", object->name}} : Json());
  }
  messaging_->postWithObjects(std::move(value), grants);
}

std::string ChromiumWebView::OfferRequestBodyUpload(
    std::shared_ptr<webview::RequestBodySink> sink) {
  if (!uploads_) uploads_ = LoopbackUploadReceiver::start();
  return uploads_ ? uploads_->offer(std::move(sink)) : std::string();
}

void ChromiumWebView::onFileSystemCall(const std::string& call, const std::string& source,
                                       bool fromTopDocument) {
  webview::FileSystemCallReceivedEventArgs args(source, fromTopDocument, call);
  raise(fileSystemCalls_, args);
  // Only the top-level document holds handles that wait for replies.
  if (!fromTopDocument || args.get_Reply().empty()) return;
  Json reply = Json::parse(args.get_Reply(), nullptr, false);
  if (reply.is_discarded()) return;
  if (!args.get_ReplyFile().empty()) return replyWithFile(std::move(reply), args.get_ReplyFile());
  callTopDocument(std::string("function (reply) { ") + kFileSystemReplyName + "(reply); }",
                  Json::array({std::move(reply)}));
}

// The page gets the file in a file input of its document: the browser then reads it
// from disk whenever the page reads the File, and no byte passes through the host.
// Three steps: a new input from the page script, the file put into it, the reply
// delivered with the input.
void ChromiumWebView::replyWithFile(Json reply, const std::string& path) {
  auto context = sessions_->topDocumentContext();
  if (!context) return;
  const std::string session = page_.sessionId;
  auto fail = [this, session, context = *context](Json failed) {
    failed["ok"] = false;
    failed["error"] = "NotReadableError";
    failed["message"] = "The file could not be handed to the page.";
    client().send("Runtime.callFunctionOn",
                  {{"functionDeclaration",
                    std::string("function (reply) { ") + kFileSystemReplyName + "(reply); }"},
                   {"executionContextId", context},
                   {"arguments", Json::array({Json{{"value", std::move(failed)}}})}},
                  session);
  };
  auto deliver = [this, session, context = *context, fail, alive = std::weak_ptr<bool>(alive_)](
                     Json answer, const std::string& input, const DevToolsReply& filled) {
    if (alive.expired()) return;
    if (!filled.ok) {
      fail(std::move(answer));
    } else {
      client().send("Runtime.callFunctionOn",
                    {{"functionDeclaration", std::string("function (reply, input) { ") +
                                                 kFileSystemReplyName + "(reply, input); }"},
                     {"executionContextId", context},
                     {"arguments", Json::array({Json{{"value", std::move(answer)}},
                                                Json{{"objectId", input}}})}},
                    session);
    }
    client().send("Runtime.releaseObject", {{"objectId", input}}, session);
  };
  client().send(
      "Runtime.callFunctionOn",
      {{"functionDeclaration",
        std::string("function () { return ") + kFileInputMakerName + "(); }"},
       {"executionContextId", *context},
       {"returnByValue", false}},
      session,
      [this, session, path, reply = std::move(reply), fail, deliver,
       alive = std::weak_ptr<bool>(alive_)](const DevToolsReply& made) mutable {
        if (alive.expired()) return;
        std::string input;
        if (auto object = made.result.find("result");
            made.ok && object != made.result.end() && object->is_object()) {
          input = object->value("objectId", std::string());
        }
        if (input.empty()) {
          fail(std::move(reply));
          return;
        }
        client().send(
            "DOM.setFileInputFiles", {{"files", Json::array({path})}, {"objectId", input}}, session,
            [reply = std::move(reply), input, deliver](const DevToolsReply& filled) mutable {
              deliver(std::move(reply), input, filled);
            });
      });
}

void ChromiumWebView::onPageReport(const std::string& payload,
                                   const ExecutionContexts::CallingDocument& caller,
                                   bool fromTopDocument) {
  if (payload.empty()) return;
  const std::optional<PageReport> kind = PageReportOf(payload.front());
  if (!kind) return;
  std::string_view data = std::string_view(payload).substr(1);
  switch (*kind) {
    case PageReport::Message:
    case PageReport::NonStringMessage:
    case PageReport::SocketToken:
      messaging_->onReport(*kind, data, caller, fromTopDocument);
      return;
    case PageReport::NewWindow:
      // "1" or "0" (with or without a user gesture), then the address.
      if (data.empty()) return;
      raiseNewWindow(std::string(data.substr(1)),
                     webview::NewWindowRequester{caller.source, fromTopDocument, data[0] == '1'});
      return;
    case PageReport::FileSystemCall:
      onFileSystemCall(std::string(data), caller.source, fromTopDocument);
      return;
    case PageReport::AcceleratorKey:
      onAcceleratorReport(data);
      return;
    case PageReport::Title:
    case PageReport::Fullscreen:
    case PageReport::Close:
      // These speak for the whole web view: only the top document's count.
      if (fromTopDocument) onDocumentReport(*kind, data);
      return;
  }
}

void ChromiumWebView::onDocumentReport(PageReport kind, std::string_view data) {
  switch (kind) {
    case PageReport::Title:
      if (title_ == data) return;
      title_ = std::string(data);
      raise(documentTitleChanged_);
      return;
    case PageReport::Fullscreen: {
      bool fullscreen = data == "1";
      if (fullscreen_ == fullscreen) return;
      fullscreen_ = fullscreen;
      raise(fullScreenElementChanged_);
      return;
    }
    case PageReport::Close:
      raise(windowCloseRequested_);
      return;
    default:
      return;
  }
}

void ChromiumWebView::onAcceleratorReport(std::string_view report) {
  // "d" or "u" (down, up), "s" or "n" (with or without Alt), then the key code.
  if (report.size() < 3 || !onAcceleratorKey_) return;
  bool down = report[0] == 'd';
  bool system = report[1] == 's';
  uint32_t keyCode = 0;
  auto digits = report.substr(2);
  if (std::from_chars(digits.data(), digits.data() + digits.size(), keyCode).ec != std::errc())
    return;
  KeyEventKind kind = down ? (system ? KeyEventKind::SystemKeyDown : KeyEventKind::KeyDown)
                           : (system ? KeyEventKind::SystemKeyUp : KeyEventKind::KeyUp);
  onAcceleratorKey_(kind, keyCode);
}

// ----- Windows -----

void ChromiumWebView::raiseNewWindow(const std::string& uri,
                                     webview::NewWindowRequester requester) {
  webview::NewWindowRequestedEventArgs args(uri, std::move(requester));
  raise(newWindowRequested_, args);
}

void ChromiumWebView::onTargetCreated(const Json& targetInfo) {
  std::string targetId = targetInfo.value("targetId", std::string());
  if (targetInfo.value("type", std::string()) != "page" || targetId == page_.targetId) return;
  bool devTools = quirks::isDevToolsWindowUrl(targetInfo.value("url", std::string()));
  if (devTools && settings_.state().page.devTools) return;
  // Never a second window: a popup the page script could not prevent (it has been
  // reported through Page.windowOpen), or tools the settings forbid.
  client().send("Target.closeTarget", {{"targetId", targetId}});
}

void ChromiumWebView::onPageClosed() {
  // The page closed its window in a way the page script could not intercept; the
  // browser exits right after its last window, which is then no failure.
  browser_->expectExit();
  raise(windowCloseRequested_);
}

void ChromiumWebView::OpenDevToolsWindow() {
  if (!settings_.state().page.devTools) return;
  client().send(
      "Target.openDevTools", {{"targetId", page_.targetId}}, {}, [](const DevToolsReply& reply) {
        if (!reply.ok)
          std::fprintf(stderr, "tavrelle: developer tools: %s\n", reply.errorMessage.c_str());
      });
}

void ChromiumWebView::raiseProcessFailed(webview::ProcessFailedKind kind,
                                         const std::string& description) {
  // From the loop: the host may well release the web view in its handler.
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive, kind, description] {
    if (!alive.lock()) return;
    webview::ProcessFailedEventArgs args(kind, description);
    raise(processFailed_, args);
  });
}

// ----- Settings -----

void ChromiumWebView::applySettingsSoon() {
  // Settings come in a burst of setters: apply them together.
  if (settingsUpdatePosted_) return;
  settingsUpdatePosted_ = true;
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive] {
    if (!alive.lock()) return;
    settingsUpdatePosted_ = false;
    applySettings();
  });
}

void ChromiumWebView::applySettings() {
  const auto& wanted = settings_.state();
  if (!(wanted.page == appliedSettings_.page))
    sessions_->setScriptSource(
        pageScriptSource(wanted.page, sessions_->reportKey(), messaging_->socketAddress()));
  if (wanted.scriptEnabled != appliedSettings_.scriptEnabled)
    sessions_->setScriptEnabled(wanted.scriptEnabled);
  sessions_->setScriptDialogsEnabled(wanted.scriptDialogs);
  appliedSettings_ = wanted;
}

// ----- Permissions -----

void ChromiumWebView::grantGamePermissions(const std::string& origin) {
  if (origin.empty() || !silentlyGranted_.insert(origin).second) return;
  for (auto& descriptor : silentlyGrantedPermissions()) {
    // Names this browser version does not know are refused; that is expected.
    client().send("Browser.setPermission",
                  {{"permission", descriptor}, {"setting", "granted"}, {"origin", origin}});
  }
}

void ChromiumWebView::add_PermissionRequested(
    webview::EventHandler<webview::PermissionRequestedEventArgs> handler) {
  permissionRequested_.push_back(std::move(handler));
}

void ChromiumWebView::askPermissionsFor(const std::string& documentUrl) {
  // The browser never prompts: the handlers are asked once per kind for each origin
  // whose document the top frame shows, and their answers are set in the browser for
  // that origin only, before the host's own navigation starts. Every other origin
  // keeps the browser's default.
  std::string origin = urlOrigin(documentUrl);
  if (permissionRequested_.empty() || origin.empty() || !askedOrigins_.insert(origin).second)
    return;
  ++pendingPermissionUpdates_;
  auto outstanding = std::make_shared<int>(1);
  auto settle = [this, outstanding](const DevToolsReply&) {
    if (--*outstanding > 0) return;
    if (--pendingPermissionUpdates_ > 0) return;
    auto waiting = std::move(afterPermissions_);
    afterPermissions_.clear();
    for (auto& then : waiting) then();
  };
  for (auto kind : askablePermissionKinds()) {
    webview::PermissionRequestedEventArgs args(documentUrl, kind);
    raise(permissionRequested_, args);
    if (args.get_State() == webview::PermissionState::Default) continue;
    const char* setting =
        args.get_State() == webview::PermissionState::Allow ? "granted" : "denied";
    for (auto& descriptor : permissionDescriptorsFor(kind)) {
      ++*outstanding;
      client().send("Browser.setPermission",
                    {{"permission", descriptor}, {"setting", setting}, {"origin", origin}}, {},
                    settle);
    }
  }
  settle(DevToolsReply{true, {}, 0, {}});
}

// ----- Registrations -----

void ChromiumWebView::add_NewWindowRequested(
    webview::EventHandler<webview::NewWindowRequestedEventArgs> handler) {
  newWindowRequested_.push_back(std::move(handler));
}

void ChromiumWebView::add_WebMessageReceived(
    webview::EventHandler<webview::WebMessageReceivedEventArgs> handler) {
  webMessageReceived_.push_back(std::move(handler));
}

void ChromiumWebView::add_FileSystemCallReceived(
    webview::EventHandler<webview::FileSystemCallReceivedEventArgs> handler) {
  fileSystemCalls_.push_back(std::move(handler));
}

void ChromiumWebView::add_ProcessFailed(
    webview::EventHandler<webview::ProcessFailedEventArgs> handler) {
  processFailed_.push_back(std::move(handler));
}

void ChromiumWebView::add_DocumentTitleChanged(webview::SimpleEventHandler handler) {
  documentTitleChanged_.push_back(std::move(handler));
}

void ChromiumWebView::add_ContainsFullScreenElementChanged(webview::SimpleEventHandler handler) {
  fullScreenElementChanged_.push_back(std::move(handler));
}

void ChromiumWebView::add_WindowCloseRequested(webview::SimpleEventHandler handler) {
  windowCloseRequested_.push_back(std::move(handler));
}

void ChromiumWebView::add_DOMContentLoaded(webview::SimpleEventHandler handler) {
  domContentLoaded_.push_back(std::move(handler));
}

}  // namespace tavrelle::chromium
