#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/IoEventLoop.h"
#include "platform/chromium/WebSocketProtocol.h"

namespace tavrelle::chromium {

// A WebSocket server on 127.0.0.1, served on the main loop, through which the top
// document and the host exchange messages without a detour through the browser
// process. A connection opens only when `opening` accepts the target its handshake
// asks for; after that, whole text messages go both ways.
class MessageSocketServer {
 public:
  using ConnectionId = uint64_t;
  struct Events {
    // True accepts the connection; anything else closes it without a word.
    std::function<bool(ConnectionId, std::string_view target)> opening;
    // The handshake is answered: the connection takes messages.
    std::function<void(ConnectionId)> opened;
    std::function<void(ConnectionId, std::string& text)> message;
    // The connection ended, from either side (not after close()).
    std::function<void(ConnectionId)> closed;
  };

  // Connections at once; a new one pushes out the oldest that has not opened yet.
  static constexpr size_t kMostConnections = 8;
  // The longest request head a handshake may send.
  static constexpr size_t kLongestHandshake = 8192;

  // Nothing when no port could be had.
  static std::unique_ptr<MessageSocketServer> start(IoEventLoop& loop, size_t largestMessage,
                                                    Events events);
  ~MessageSocketServer();
  MessageSocketServer(const MessageSocketServer&) = delete;
  MessageSocketServer& operator=(const MessageSocketServer&) = delete;

  [[nodiscard]] uint16_t port() const { return port_; }
  // Queues one text message; false when the connection is not open.
  bool send(ConnectionId connection, std::string_view text);
  void close(ConnectionId connection);

 private:
  struct Connection {
    int fd = -1;
    bool open = false;
    std::string received;  // the handshake, until it is complete
    WebSocketReader reader;
    std::string outgoing;
    size_t sent = 0;
    bool writeWatched = false;
  };

  MessageSocketServer(IoEventLoop& loop, int listenFd, uint16_t port, size_t largestMessage,
                      Events events);
  void acceptConnections();
  void makeRoom();
  void onReadable(ConnectionId id);
  bool readHandshake(ConnectionId id, Connection& connection);
  bool readFrames(ConnectionId id, Connection& connection);
  bool flush(ConnectionId id, Connection& connection);
  void drop(ConnectionId id, bool tellOwner);

  IoEventLoop& loop_;
  int listenFd_;
  uint16_t port_;
  size_t largestMessage_;
  Events events_;
  std::map<ConnectionId, Connection> connections_;
  ConnectionId nextId_ = 1;
};

}  // namespace tavrelle::chromium
