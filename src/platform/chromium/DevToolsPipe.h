#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/IoEventLoop.h"
#include "platform/chromium/DevToolsTransport.h"
#include "platform/chromium/NulFrameSplitter.h"

namespace tavrelle::chromium {

// The DevTools pipe of a browser started with --remote-debugging-pipe: commands go
// out on one pipe, replies and events come back on the other, each message a JSON
// text ended by a NUL byte.
//
// Replies and events are read and parsed on the main loop as soon as the pipe is
// readable: a message waits for no other thread to wake. Writing has a thread of its
// own, because the browser stops reading while it is busy: it produces (encodes)
// queued messages and writes them in order. A small message is written at once from
// the sending thread when nothing is queued before it.
class DevToolsPipe final : public DevToolsTransport {
 public:
  // Takes ownership of both descriptors.
  DevToolsPipe(IoEventLoop& loop, int toBrowserFd, int fromBrowserFd);
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
  // One message or failure from the browser, handed to the listener.
  using Arrival = std::function<void(Listener&)>;
  struct Delivery {
    Listener* listener = nullptr;
    bool closedReported = false;
  };

  void onReadable();
  static std::optional<Arrival> oversizedArrival(std::string_view start, size_t length);
  void writeLoop();
  bool writeAll(const char* data, size_t size);
  bool writeAtOnce(OutgoingMessage& message);
  void postArrival(Arrival arrival);
  void postRejected(uint64_t id, std::string reason);
  void postClosed(std::string reason);
  static void reportClosed(Delivery& delivery, const std::string& reason);

  IoEventLoop& loop_;
  int toBrowserFd_;
  int fromBrowserFd_;
  int stopFd_;
  NulFrameSplitter splitter_;
  std::vector<char> readBuffer_;
  std::shared_ptr<Delivery> delivery_;

  std::mutex queueMutex_;
  std::condition_variable queueChanged_;
  std::deque<OutgoingMessage> queue_;
  bool writerBusy_ = false;  // a message is being written; the next one must wait
  bool stopping_ = false;

  std::thread writer_;
};

}  // namespace tavrelle::chromium
