#include "platform/chromium/PageSessions.h"

#include <memory>
#include <utility>

#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/PageScript.h"
#include "platform/chromium/RandomKey.h"

namespace tavrelle::chromium {

namespace {

// Counts the replies of a batch of commands and reports once: the first failure, or
// success after the last reply.
class ReplyBarrier {
 public:
  explicit ReplyBarrier(std::function<void(const DevToolsReply&)> done) : done_(std::move(done)) {}
  DevToolsClient::ReplyHandler expect() {
    ++outstanding_;
    return [self = shared(), this](const DevToolsReply& reply) {
      if (!reply.ok && !reported_) {
        reported_ = true;
        done_(reply);
      }
      if (--outstanding_ == 0 && !reported_) {
        reported_ = true;
        done_(DevToolsReply{true, {}, 0, {}});
      }
    };
  }
  void setSelf(const std::shared_ptr<ReplyBarrier>& self) { self_ = self; }

 private:
  std::shared_ptr<ReplyBarrier> shared() { return self_.lock(); }
  std::function<void(const DevToolsReply&)> done_;
  std::weak_ptr<ReplyBarrier> self_;
  int outstanding_ = 0;
  bool reported_ = false;
};

std::shared_ptr<ReplyBarrier> makeBarrier(std::function<void(const DevToolsReply&)> done) {
  auto barrier = std::make_shared<ReplyBarrier>(std::move(done));
  barrier->setSelf(barrier);
  return barrier;
}

std::string frameUrl(const Json& frame) {
  return frame.value("url", std::string()) + frame.value("urlFragment", std::string());
}

}  // namespace

PageSessions::PageSessions(DevToolsClient& client, std::string pageTargetId,
                           std::string pageSessionId, Events events)
    : client_(client),
      pageTargetId_(std::move(pageTargetId)),
      pageSessionId_(std::move(pageSessionId)),
      events_(std::move(events)),
      reportKey_(randomKey()) {
  sessions_[pageSessionId_] = Session{};
  listen();
}

void PageSessions::listen() {
  client_.on("Target.attachedToTarget", [this](const Json& params, const std::string& sessionId) {
    if (isOurs(sessionId)) onAttached(params, sessionId);
  });
  client_.on("Target.detachedFromTarget",
             [this](const Json& params, const std::string&) { onDetached(params); });
  client_.on("Runtime.executionContextCreated",
             [this](const Json& params, const std::string& sessionId) {
               if (isOurs(sessionId)) onContextCreated(params, sessionId);
             });
  client_.on("Runtime.executionContextDestroyed", [this](const Json& params,
                                                         const std::string& sessionId) {
    contexts_.contextDestroyed(sessionId, params.value("executionContextId", int64_t{0}));
  });
  client_.on("Runtime.executionContextsCleared", [this](const Json&, const std::string& sessionId) {
    contexts_.contextsCleared(sessionId);
  });
  client_.on("Page.frameNavigated", [this](const Json& params, const std::string& sessionId) {
    if (isOurs(sessionId)) onFrameNavigated(params, sessionId);
  });
  client_.on("Page.navigatedWithinDocument",
             [this](const Json& params, const std::string& sessionId) {
               if (isOurs(sessionId)) {
                 contexts_.frameNavigated(sessionId, params.value("frameId", std::string()),
                                          params.value("url", std::string()));
               }
             });
  client_.on("Runtime.bindingCalled", [this](const Json& params, const std::string& sessionId) {
    if (isOurs(sessionId)) onBindingCalled(params, sessionId);
  });
  client_.on("Page.domContentEventFired", [this](const Json&, const std::string& sessionId) {
    if (sessionId == pageSessionId_ && events_.topDomContentLoaded) events_.topDomContentLoaded();
  });
  client_.on("Page.frameStartedNavigating",
             [this](const Json& params, const std::string& sessionId) {
               onFrameStartedNavigating(params, sessionId);
             });
  client_.on("Page.windowOpen", [this](const Json& params, const std::string& sessionId) {
    if (isOurs(sessionId) && events_.windowOpening)
      events_.windowOpening(params.value("url", std::string()), params.value("userGesture", false));
  });
  client_.on("Page.javascriptDialogOpening", [this](const Json&, const std::string& sessionId) {
    if (isOurs(sessionId)) onDialogOpening(sessionId);
  });
}

void PageSessions::setUp(std::string scriptSource,
                         std::function<void(const DevToolsReply& failure)> onReady) {
  scriptSource_ = std::move(scriptSource);
  prepareSession(pageSessionId_, std::move(onReady));
}

void PageSessions::prepareSession(const std::string& sessionId,
                                  std::function<void(const DevToolsReply&)> done) {
  auto barrier = makeBarrier(std::move(done));
  // Order matters: the binding and the script must exist before the first document of
  // a held frame runs, and contexts are reported once Runtime is enabled.
  client_.send("Runtime.addBinding", {{"name", kPageBindingName}}, sessionId, barrier->expect());
  client_.send("Page.enable", {}, sessionId, barrier->expect());
  registerScript(sessionId, barrier->expect());
  client_.send("Runtime.enable", {}, sessionId, barrier->expect());
  if (!scriptEnabled_) {
    client_.send("Emulation.setScriptExecutionDisabled", {{"value", true}}, sessionId,
                 barrier->expect());
  }
  client_.send("Target.setAutoAttach",
               {{"autoAttach", true}, {"waitForDebuggerOnStart", true}, {"flatten", true}},
               sessionId, barrier->expect());
}

void PageSessions::setScriptSource(std::string scriptSource) {
  scriptSource_ = std::move(scriptSource);
  ++scriptGeneration_;
  for (auto& [sessionId, session] : sessions_) {
    if (!session.scriptId.empty()) {
      sendShaping("Page.removeScriptToEvaluateOnNewDocument", {{"identifier", session.scriptId}},
                  sessionId);
      session.scriptId.clear();
    }
    registerScript(sessionId);
  }
}

void PageSessions::registerScript(const std::string& sessionId, DevToolsClient::ReplyHandler then) {
  sendShaping("Page.addScriptToEvaluateOnNewDocument", {{"source", scriptSource_}}, sessionId,
              [this, sessionId, generation = scriptGeneration_,
               then = std::move(then)](const DevToolsReply& reply) {
                keepRegistration(sessionId, generation, reply);
                if (then) then(reply);
              });
}

// A registration answered after the script changed is stale: it goes again, and the
// next navigation waits for that too.
void PageSessions::keepRegistration(const std::string& sessionId, uint64_t generation,
                                    const DevToolsReply& reply) {
  auto session = sessions_.find(sessionId);
  if (!reply.ok || session == sessions_.end()) return;
  std::string identifier = reply.result.value("identifier", std::string());
  if (generation == scriptGeneration_) {
    session->second.scriptId = std::move(identifier);
  } else {
    sendShaping("Page.removeScriptToEvaluateOnNewDocument", {{"identifier", identifier}},
                sessionId);
  }
}

void PageSessions::setScriptEnabled(bool enabled) {
  scriptEnabled_ = enabled;
  for (auto& [sessionId, session] : sessions_) {
    sendShaping("Emulation.setScriptExecutionDisabled", {{"value", !enabled}}, sessionId);
  }
}

// The page session's commands are counted until answered; those of frame sessions are
// not, since a frame's documents wait for its own preparation.
void PageSessions::sendShaping(std::string_view method, Json params, const std::string& sessionId,
                               DevToolsClient::ReplyHandler then) {
  bool counted = sessionId == pageSessionId_;
  if (counted) ++unsettledPageCommands_;
  client_.send(method, std::move(params), sessionId,
               [this, counted, then = std::move(then)](const DevToolsReply& reply) {
                 if (then) then(reply);
                 if (counted && --unsettledPageCommands_ == 0) {
                   auto waiting = std::exchange(afterSettled_, {});
                   for (auto& next : waiting) next();
                 }
               });
}

void PageSessions::whenSettled(std::function<void()> then) {
  if (unsettledPageCommands_ == 0) return then();
  afterSettled_.push_back(std::move(then));
}

void PageSessions::onAttached(const Json& params, const std::string& parentSessionId) {
  std::string childSession = params.value("sessionId", std::string());
  if (childSession.empty()) return;
  std::string type = params.contains("targetInfo")
                         ? params["targetInfo"].value("type", std::string())
                         : std::string();
  bool waiting = params.value("waitingForDebugger", false);
  if (type != "iframe") {
    // Workers need nothing of ours: their requests are intercepted on the browser session.
    if (waiting) client_.send("Runtime.runIfWaitingForDebugger", {}, childSession);
    client_.send("Target.detachFromTarget", {{"sessionId", childSession}}, parentSessionId);
    return;
  }
  sessions_[childSession] = Session{};
  // The frame is held until everything is in place; any failure (the frame may already
  // be gone) must still release it.
  prepareSession(childSession, [](const DevToolsReply&) {});
  if (waiting) client_.send("Runtime.runIfWaitingForDebugger", {}, childSession);
}

void PageSessions::onDetached(const Json& params) {
  std::string sessionId = params.value("sessionId", std::string());
  if (sessionId == pageSessionId_) return;  // the page itself going: the web view sees that
  sessions_.erase(sessionId);
  contexts_.sessionEnded(sessionId);
}

void PageSessions::onContextCreated(const Json& params, const std::string& sessionId) {
  if (!params.contains("context")) return;
  const Json& context = params["context"];
  const Json aux = context.value("auxData", Json::object());
  contexts_.contextCreated(sessionId, context.value("id", int64_t{0}),
                           context.value("origin", std::string()),
                           aux.value("frameId", std::string()), aux.value("isDefault", false));
}

void PageSessions::onFrameNavigated(const Json& params, const std::string& sessionId) {
  if (!params.contains("frame")) return;
  const Json& frame = params["frame"];
  std::string frameId = frame.value("id", std::string());
  std::string url = frameUrl(frame);
  contexts_.frameNavigated(sessionId, frameId, url);
  bool top = sessionId == pageSessionId_ && frameId == pageTargetId_ && !frame.contains("parentId");
  if (top && events_.topFrameNavigated) events_.topFrameNavigated(url);
}

void PageSessions::onFrameStartedNavigating(const Json& params, const std::string& sessionId) {
  if (sessionId != pageSessionId_ || params.value("frameId", std::string()) != pageTargetId_)
    return;
  std::string type = params.value("navigationType", std::string());
  if (type == "sameDocument" || type == "historySameDocument") return;
  if (events_.topFrameStartedNavigating)
    events_.topFrameStartedNavigating(params.value("url", std::string()));
}

void PageSessions::onBindingCalled(const Json& params, const std::string& sessionId) {
  if (params.value("name", std::string()) != kPageBindingName) return;
  auto caller =
      contexts_.callingDocument(sessionId, params.value("executionContextId", int64_t{0}));
  if (!caller) return;  // a context we do not know (destroyed, or not a page's main world)
  // A sandboxed document speaks for no origin: nothing it reports is taken.
  if (quirks::isOpaqueContextOrigin(caller->source)) return;
  std::string payload = params.value("payload", std::string());
  if (!payload.starts_with(reportKey_)) return;
  payload.erase(0, reportKey_.size());
  bool fromTop = sessionId == pageSessionId_ && caller->frameId == pageTargetId_;
  if (events_.pageReport) events_.pageReport(payload, *caller, fromTop);
}

void PageSessions::onDialogOpening(const std::string& sessionId) {
  if (scriptDialogs_) return;
  client_.send("Page.handleJavaScriptDialog", {{"accept", false}}, sessionId);
}

std::optional<ExecutionContexts::CallingDocument> PageSessions::topDocument(
    int64_t contextId) const {
  auto document = contexts_.callingDocument(pageSessionId_, contextId);
  if (!document || document->frameId != pageTargetId_) return std::nullopt;
  return document;
}

std::optional<int64_t> PageSessions::topDocumentContext() const {
  return contexts_.mainWorldContextOf(pageSessionId_, pageTargetId_);
}

}  // namespace tavrelle::chromium
