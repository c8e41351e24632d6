#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/EventLoop.h"

namespace tavrelle::chromium {

// Host messages posted in one turn of the main loop go to the page as one delivery that
// dispatches them one by one, in order: a delivery costs far more than one message
// event does. The first message of a turn leaves at once, so that a lone message (an
// answer to the page) waits for nothing; those after it go together at the end of the
// turn.
class HostMessageBatch {
 public:
  // Sends `messages` (JSON texts joined by commas, the inside of an array) to the
  // document with that execution context.
  using Send = std::function<void(int64_t context, std::string messages)>;

  // A batch is sent early once it holds this many bytes, far below what one message to
  // the browser may carry.
  static constexpr size_t kLargestBatchBytes = size_t{8} << 20;

  HostMessageBatch(EventLoop& loop, Send send) : loop_(loop), send_(std::move(send)) {}
  HostMessageBatch(const HostMessageBatch&) = delete;
  HostMessageBatch& operator=(const HostMessageBatch&) = delete;

  // Sends or queues one message (valid JSON text) for the document.
  void add(int64_t context, std::string_view json);
  // Sends what is queued now.
  void flush();

 private:
  EventLoop& loop_;
  Send send_;
  int64_t context_ = 0;
  std::string messages_;
  bool flushPosted_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavrelle::chromium
