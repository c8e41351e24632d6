#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/EventLoop.h"
#include "platform/chromium/DevToolsTransport.h"

namespace tavrelle::chromium {

// The DevTools pipe of a browser started with --remote-debugging-pipe: commands go
// out on one pipe, replies and events come back on the other, each message a JSON
// text ended by a NUL byte.
//
// Reading and writing run on two threads of their own: the browser stops reading
// while it is busy, and a reply must never be awaited on the thread that delivers
// events. The reader parses each message and posts it to the main loop; the writer
// produces (encodes) queued messages and writes them in order.
class DevToolsPipe final : public DevToolsTransport {
 public:
  // Takes ownership of both descriptors.
  DevToolsPipe(EventLoop& loop, int toBrowserFd, int fromBrowserFd);
  ~DevToolsPipe() override;
  DevToolsPipe(const DevToolsPipe&) = delete;
  DevToolsPipe& operator=(const DevToolsPipe&) = delete;

  // The largest message read from the browser: a page message at its ceiling (64 MiB)
  // with the event around it. Longer ones are skipped without being held; a command
  // whose reply is skipped fails.
  static constexpr size_t kLargestMessageFromBrowser = (size_t{64} << 20) + (size_t{1} << 20);

  void setListener(Listener* listener) override;
  void send(OutgoingMessage message) override;

 private:
  // What posted tasks reach: gone once the pipe is destroyed.
  struct Delivery {
    Listener* listener = nullptr;
    bool closedReported = false;
  };

  void readLoop();
  void reportOversized(std::string_view start, size_t length);
  void writeLoop();
  bool writeAll(const char* data, size_t size);
  bool writeAtOnce(OutgoingMessage& message);
  void postMessage(std::shared_ptr<nlohmann::json> message);
  void postRejected(uint64_t id, std::string reason);
  void postClosed(std::string reason);

  EventLoop& loop_;
  int toBrowserFd_;
  int fromBrowserFd_;
  int stopFd_;
  std::shared_ptr<Delivery> delivery_;

  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<OutgoingMessage> queue_;
  bool writerBusy_ = false;  // a message is being written; the next one must wait
  bool stopping_ = false;

  std::thread reader_;
  std::thread writer_;
};

}  // namespace tavrelle::chromium
