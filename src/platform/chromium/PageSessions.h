#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/chromium/DevToolsClient.h"
#include "platform/chromium/ExecutionContexts.h"

namespace tavrelle::chromium {

// The DevTools sessions of the web view's page: the page target's own session and one
// for every frame the browser runs in another process (cross-site iframes), attached
// automatically and held before their first script so that each gets the page script
// and the host binding. Tracks their documents and turns binding calls into reports
// that name the calling document.
class PageSessions {
 public:
  struct Events {
    // A report of the page script, its key removed. fromTopDocument: the top frame's
    // main world. Reports from documents with an opaque origin never come here.
    std::function<void(const std::string& payload, const ExecutionContexts::CallingDocument& caller,
                       bool fromTopDocument)>
        pageReport;
    std::function<void()> topDomContentLoaded;
    std::function<void(const std::string& url)> topFrameNavigated;
    // The top frame begins to load another document, whether or not that makes a
    // network request (about:blank, blob:, data: ... make none).
    std::function<void(const std::string& url)> topFrameStartedNavigating;
    // The browser is about to open a window (the page script did not prevent it).
    std::function<void(const std::string& url, bool userGesture)> windowOpening;
  };

  PageSessions(DevToolsClient& client, std::string pageTargetId, std::string pageSessionId,
               Events events);
  PageSessions(const PageSessions&) = delete;
  PageSessions& operator=(const PageSessions&) = delete;

  // Prepares the page session; onReady runs once the browser has confirmed it.
  void setUp(std::string scriptSource, std::function<void(const DevToolsReply& failure)> onReady);
  // Replaces the page script in every session, for documents loaded from now on.
  void setScriptSource(std::string scriptSource);
  void setScriptDialogsEnabled(bool enabled) { scriptDialogs_ = enabled; }
  void setScriptEnabled(bool enabled);
  // Runs then once the browser has answered every change of the page script and of
  // script execution sent for the page's own session: documents made after that see them.
  void whenSettled(std::function<void()> then);

  // The secret that begins every report of the page script, new for each web view.
  // A document that holds a bare binding (one the page script never ran in) does not
  // know it, so what it sends is dropped.
  [[nodiscard]] const std::string& reportKey() const { return reportKey_; }
  [[nodiscard]] const std::string& pageSessionId() const { return pageSessionId_; }
  [[nodiscard]] const std::string& pageTargetId() const { return pageTargetId_; }
  // The top document's main-world context, if a document is loaded.
  [[nodiscard]] std::optional<int64_t> topDocumentContext() const;
  // The document behind a context of the page session, if it is the top frame's.
  [[nodiscard]] std::optional<ExecutionContexts::CallingDocument> topDocument(
      int64_t contextId) const;

 private:
  struct Session {
    std::string scriptId;  // the page script's registration in this session
  };

  void listen();
  void prepareSession(const std::string& sessionId, std::function<void(const DevToolsReply&)> done);
  void registerScript(const std::string& sessionId, DevToolsClient::ReplyHandler then = nullptr);
  void keepRegistration(const std::string& sessionId, uint64_t generation,
                        const DevToolsReply& reply);
  void sendShaping(std::string_view method, Json params, const std::string& sessionId,
                   DevToolsClient::ReplyHandler then = nullptr);
  void onAttached(const Json& params, const std::string& parentSessionId);
  void onDetached(const Json& params);
  void onContextCreated(const Json& params, const std::string& sessionId);
  void onFrameNavigated(const Json& params, const std::string& sessionId);
  void onFrameStartedNavigating(const Json& params, const std::string& sessionId);
  void onBindingCalled(const Json& params, const std::string& sessionId);
  void onDialogOpening(const std::string& sessionId);
  [[nodiscard]] bool isOurs(const std::string& sessionId) const {
    return sessions_.contains(sessionId);
  }

  DevToolsClient& client_;
  std::string pageTargetId_;
  std::string pageSessionId_;
  Events events_;
  std::string reportKey_;
  std::string scriptSource_;
  uint64_t scriptGeneration_ = 0;  // counts the script's changes: older registrations are stale
  int unsettledPageCommands_ = 0;
  std::vector<std::function<void()>> afterSettled_;
  bool scriptDialogs_ = true;
  bool scriptEnabled_ = true;
  std::map<std::string, Session> sessions_;
  ExecutionContexts contexts_;
};

}  // namespace tavrelle::chromium
