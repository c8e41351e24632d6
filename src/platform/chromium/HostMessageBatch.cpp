#include "platform/chromium/HostMessageBatch.h"

namespace tavrelle::chromium {

void HostMessageBatch::add(int64_t context, std::string_view json) {
  // The first message of a turn leaves at once: a lone message waits for no batch.
  if (!flushPosted_ && messages_.empty()) {
    flushPosted_ = true;
    loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
      if (alive.expired()) return;
      flushPosted_ = false;
      flush();
    });
    send_(context, std::string(json));
    return;
  }
  bool full = messages_.size() + json.size() > kLargestBatchBytes;
  if (!messages_.empty() && (context != context_ || full)) flush();
  context_ = context;
  if (!messages_.empty()) messages_ += ',';
  messages_.append(json);
  if (flushPosted_) return;
  flushPosted_ = true;
  loop_.post([this, alive = std::weak_ptr<bool>(alive_)] {
    if (alive.expired()) return;
    flushPosted_ = false;
    flush();
  });
}

void HostMessageBatch::flush() {
  if (messages_.empty()) return;
  std::string messages;
  messages.swap(messages_);
  send_(context_, std::move(messages));
}

}  // namespace tavrelle::chromium
