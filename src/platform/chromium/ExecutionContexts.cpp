#include "platform/chromium/ExecutionContexts.h"

#include "platform/chromium/ChromiumQuirks.h"
#include "common/UrlOrigin.h"

namespace tavrelle::chromium {

void ExecutionContexts::contextCreated(const std::string& sessionId, int64_t contextId,
                                       std::string origin, std::string frameId, bool isMainWorld) {
  contexts_[{sessionId, contextId}] = Context{std::move(origin), std::move(frameId), isMainWorld};
}

void ExecutionContexts::contextDestroyed(const std::string& sessionId, int64_t contextId) {
  contexts_.erase({sessionId, contextId});
}

void ExecutionContexts::contextsCleared(const std::string& sessionId) {
  auto first = contexts_.lower_bound({sessionId, INT64_MIN});
  auto last = contexts_.upper_bound({sessionId, INT64_MAX});
  contexts_.erase(first, last);
}

void ExecutionContexts::sessionEnded(const std::string& sessionId) {
  contextsCleared(sessionId);
  for (auto frame = frameUrls_.begin(); frame != frameUrls_.end();) {
    frame = frame->first.first == sessionId ? frameUrls_.erase(frame) : std::next(frame);
  }
}

void ExecutionContexts::frameNavigated(const std::string& sessionId, const std::string& frameId,
                                       std::string url) {
  frameUrls_[{sessionId, frameId}] = std::move(url);
}

std::optional<ExecutionContexts::CallingDocument> ExecutionContexts::callingDocument(
    const std::string& sessionId, int64_t contextId) const {
  auto found = contexts_.find({sessionId, contextId});
  if (found == contexts_.end() || !found->second.isMainWorld) return std::nullopt;
  const Context& context = found->second;
  CallingDocument document{context.origin, context.frameId, contextId};
  if (quirks::isOpaqueContextOrigin(context.origin)) return document;
  // The frame URL is what the browser committed; it is trusted only when it agrees
  // with the origin the context really runs in.
  auto url = frameUrls_.find({sessionId, context.frameId});
  if (url != frameUrls_.end() && urlOrigin(url->second) == context.origin) {
    document.source = url->second;
  }
  return document;
}

std::optional<int64_t> ExecutionContexts::mainWorldContextOf(const std::string& sessionId,
                                                             const std::string& frameId) const {
  auto first = contexts_.lower_bound({sessionId, INT64_MIN});
  for (auto it = first; it != contexts_.end() && it->first.first == sessionId; ++it) {
    if (it->second.isMainWorld && it->second.frameId == frameId) return it->first.second;
  }
  return std::nullopt;
}

}  // namespace tavrelle::chromium
