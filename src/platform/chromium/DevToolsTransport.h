#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace tavrelle::chromium {

// One message for the browser. The text is produced by `produce` where the transport
// writes (off the main thread for the pipe), so that large response bodies are encoded
// without holding up the main loop.
struct OutgoingMessage {
  uint64_t id = 0;  // the command id; named back when the message is rejected
  std::function<std::string()> produce;
  // Small and cheap to produce: the transport may produce and write it at once on the
  // calling thread when nothing is queued before it.
  bool cheap = false;
};

// The byte channel to one browser. Listener calls arrive on the main thread, one at a time.
class DevToolsTransport {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    virtual void onMessageReceived(nlohmann::json message) = 0;
    // The message was not sent (for example it was too large); the connection lives on.
    virtual void onMessageRejected(uint64_t id, const std::string& reason) = 0;
    // The browser can no longer be reached. Reported at most once.
    virtual void onTransportClosed(const std::string& reason) = 0;
  };

  virtual ~DevToolsTransport() = default;
  virtual void setListener(Listener* listener) = 0;
  // Queues a message; messages go out in the order they were queued.
  virtual void send(OutgoingMessage message) = 0;
};

}  // namespace tavrelle::chromium
