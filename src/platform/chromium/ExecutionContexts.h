#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace tavrelle::chromium {

// The documents of the web view's sessions as the browser reports them: execution
// contexts (per session: context ids are unique only within one session) and the URL
// of each frame. It answers who called the page binding, a question the page cannot
// influence.
class ExecutionContexts {
 public:
  struct CallingDocument {
    std::string source;  // the document's URL, or only its origin when that is all we trust
    std::string frameId;
    int64_t contextId = 0;
  };

  void contextCreated(const std::string& sessionId, int64_t contextId, std::string origin,
                      std::string frameId, bool isMainWorld);
  void contextDestroyed(const std::string& sessionId, int64_t contextId);
  void contextsCleared(const std::string& sessionId);
  void sessionEnded(const std::string& sessionId);
  void frameNavigated(const std::string& sessionId, const std::string& frameId, std::string url);

  // The document behind a main-world context; nothing for unknown, destroyed or
  // isolated-world contexts.
  [[nodiscard]] std::optional<CallingDocument> callingDocument(const std::string& sessionId,
                                                               int64_t contextId) const;
  // The main-world context of a frame, if it has one now.
  [[nodiscard]] std::optional<int64_t> mainWorldContextOf(const std::string& sessionId,
                                                          const std::string& frameId) const;

 private:
  struct Context {
    std::string origin;
    std::string frameId;
    bool isMainWorld = false;
  };
  using Key = std::pair<std::string, int64_t>;
  using FrameKey = std::pair<std::string, std::string>;

  std::map<Key, Context> contexts_;
  std::map<FrameKey, std::string> frameUrls_;
};

}  // namespace tavrelle::chromium
