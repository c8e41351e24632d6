#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace tavrelle::chromium {

// A document's messages to the host come two ways, through the page binding and the
// message socket, and one may overtake the other where the page switches between
// them. The page numbers its messages from 0; they are handed on in that order.
class PageMessageOrder {
 public:
  // A document that leaves a gap this long (a page script that lost count) is not
  // waited for: what it sent is handed on, in order, past the gap.
  static constexpr size_t kMostWaiting = size_t{1} << 16;
  static constexpr size_t kMostWaitingBytes = size_t{256} << 20;
  // Documents whose count is kept; older ones are forgotten.
  static constexpr size_t kDocumentsKept = 4;

  using HandOn = std::function<void(std::string& message)>;

  // Takes message `number` of the document with that context and hands on every
  // message that is now next. A number already handed on is dropped.
  void accept(int64_t context, uint64_t number, std::string message, const HandOn& handOn);

 private:
  struct Document {
    uint64_t next = 0;
    std::map<uint64_t, std::string> waiting;
    size_t waitingBytes = 0;
  };
  Document& documentOf(int64_t context);
  static void handOnWaiting(Document& document, bool pastGaps, const HandOn& handOn);

  std::map<int64_t, Document> documents_;
};

}  // namespace tavrelle::chromium
