#include "platform/chromium/PageMessageOrder.h"

namespace tavrelle::chromium {

PageMessageOrder::Document& PageMessageOrder::documentOf(int64_t context) {
  auto found = documents_.find(context);
  if (found != documents_.end()) return found->second;
  // Contexts are numbered upwards in a session: the smallest is the oldest document.
  if (documents_.size() >= kDocumentsKept) documents_.erase(documents_.begin());
  return documents_[context];
}

void PageMessageOrder::accept(int64_t context, uint64_t number, std::string message,
                              const HandOn& handOn) {
  Document& document = documentOf(context);
  if (number < document.next || document.waiting.contains(number)) return;
  if (number == document.next) {
    ++document.next;
    handOn(message);
    handOnWaiting(document, false, handOn);
    return;
  }
  document.waitingBytes += message.size();
  document.waiting.emplace(number, std::move(message));
  if (document.waiting.size() > kMostWaiting || document.waitingBytes > kMostWaitingBytes)
    handOnWaiting(document, true, handOn);
}

void PageMessageOrder::handOnWaiting(Document& document, bool pastGaps, const HandOn& handOn) {
  while (!document.waiting.empty()) {
    auto first = document.waiting.begin();
    if (first->first != document.next && !pastGaps) return;
    std::string message = std::move(first->second);
    document.next = first->first + 1;
    document.waitingBytes -= message.size();
    document.waiting.erase(first);
    handOn(message);
  }
}

}  // namespace tavrelle::chromium
