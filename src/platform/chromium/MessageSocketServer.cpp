#include "platform/chromium/MessageSocketServer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/chromium/LoopbackHttpMessages.h"
#include "platform/chromium/LoopbackListener.h"

namespace tavrelle::chromium {

std::unique_ptr<MessageSocketServer> MessageSocketServer::start(IoEventLoop& loop,
                                                                size_t largestMessage,
                                                                Events events) {
  uint16_t port = 0;
  int fd = ListenOnLoopback(port, 16, true);
  if (fd < 0) return nullptr;
  return std::unique_ptr<MessageSocketServer>(
      new MessageSocketServer(loop, fd, port, largestMessage, std::move(events)));
}

MessageSocketServer::MessageSocketServer(IoEventLoop& loop, int listenFd, uint16_t port,
                                         size_t largestMessage, Events events)
    : loop_(loop),
      listenFd_(listenFd),
      port_(port),
      largestMessage_(largestMessage),
      events_(std::move(events)) {
  loop_.watchReadable(listenFd_, [this] { acceptConnections(); });
}

MessageSocketServer::~MessageSocketServer() {
  while (!connections_.empty()) drop(connections_.begin()->first, false);
  loop_.unwatch(listenFd_);
  ::close(listenFd_);
}

void MessageSocketServer::acceptConnections() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    makeRoom();
    if (connections_.size() >= kMostConnections) {
      ::close(fd);
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ConnectionId id = nextId_++;
    connections_.emplace(id,
                         Connection{fd, false, {}, WebSocketReader(largestMessage_), {}, 0, false});
    loop_.watchReadable(fd, [this, id] { onReadable(id); });
  }
}

void MessageSocketServer::makeRoom() {
  if (connections_.size() < kMostConnections) return;
  for (const auto& [id, connection] : connections_) {
    if (!connection.open) {
      drop(id, false);
      return;
    }
  }
}

void MessageSocketServer::onReadable(ConnectionId id) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& connection = found->second;
  char buffer[65536];
  for (;;) {
    ssize_t got = recv(connection.fd, buffer, sizeof buffer, 0);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      drop(id, connection.open);
      return;
    }
    if (got < 0) break;
    std::string_view bytes(buffer, static_cast<size_t>(got));
    if (connection.open) {
      connection.reader.append(bytes);
    } else {
      connection.received.append(bytes);
    }
    if (static_cast<size_t>(got) < sizeof buffer) break;
  }
  if (!connection.open && !readHandshake(id, connection)) return;
  if (connection.open) readFrames(id, connection);
}

// False when the connection was dropped.
bool MessageSocketServer::readHandshake(ConnectionId id, Connection& connection) {
  auto length = requestHeadLength(connection.received);
  if (!length) {
    if (connection.received.size() <= kLongestHandshake) return true;
    drop(id, false);
    return false;
  }
  auto head = parseRequestHead(std::string_view(connection.received).substr(0, *length));
  bool accepted = *length <= kLongestHandshake && head && head->method == "GET" &&
                  head->upgradesToWebSocket && !head->webSocketKey.empty() && events_.opening &&
                  events_.opening(id, head->target);
  if (!accepted) {
    drop(id, false);
    return false;
  }
  connection.outgoing = webSocketHandshakeAnswer(head->webSocketKey);
  // Frames the client sent right behind its handshake.
  connection.reader.append(std::string_view(connection.received).substr(*length));
  connection.received.clear();
  connection.received.shrink_to_fit();
  connection.open = true;
  if (!flush(id, connection)) return false;
  if (events_.opened) events_.opened(id);
  return connections_.contains(id);
}

bool MessageSocketServer::readFrames(ConnectionId id, Connection& connection) {
  while (auto frame = connection.reader.next()) {
    switch (frame->kind) {
      case WebSocketReader::Frame::Kind::Text:
        if (events_.message) events_.message(id, frame->payload);
        // The owner may have closed it.
        if (!connections_.contains(id)) return false;
        break;
      case WebSocketReader::Frame::Kind::Ping:
        appendPongFrame(frame->payload, connection.outgoing);
        if (!flush(id, connection)) return false;
        break;
      case WebSocketReader::Frame::Kind::Close:
        appendCloseFrame(connection.outgoing);
        flush(id, connection);
        drop(id, true);
        return false;
    }
  }
  if (!connection.reader.failed()) return true;
  drop(id, true);
  return false;
}

bool MessageSocketServer::send(ConnectionId id, std::string_view text) {
  auto found = connections_.find(id);
  if (found == connections_.end() || !found->second.open) return false;
  appendTextFrame(text, found->second.outgoing);
  return flush(id, found->second);
}

// Writes what it can now and waits for the socket to take the rest. False when the
// connection was dropped.
bool MessageSocketServer::flush(ConnectionId id, Connection& connection) {
  while (connection.sent < connection.outgoing.size()) {
    ssize_t wrote = ::send(connection.fd, connection.outgoing.data() + connection.sent,
                           connection.outgoing.size() - connection.sent, MSG_NOSIGNAL);
    if (wrote > 0) {
      connection.sent += static_cast<size_t>(wrote);
      continue;
    }
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!connection.writeWatched) {
        connection.writeWatched = true;
        loop_.watchWritable(connection.fd, [this, id] {
          auto found = connections_.find(id);
          if (found != connections_.end()) flush(id, found->second);
        });
      }
      return true;
    }
    drop(id, connection.open);
    return false;
  }
  connection.outgoing.clear();
  connection.sent = 0;
  if (connection.writeWatched) {
    connection.writeWatched = false;
    loop_.unwatchWritable(connection.fd);
  }
  return true;
}

void MessageSocketServer::close(ConnectionId id) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  Connection& connection = found->second;
  if (connection.open && connection.sent == connection.outgoing.size()) {
    // One try: the closing handshake is a courtesy the page does not need.
    std::string closing;
    appendCloseFrame(closing);
    [[maybe_unused]] ssize_t ignored =
        ::send(connection.fd, closing.data(), closing.size(), MSG_NOSIGNAL);
  }
  drop(id, false);
}

void MessageSocketServer::drop(ConnectionId id, bool tellOwner) {
  auto found = connections_.find(id);
  if (found == connections_.end()) return;
  int fd = found->second.fd;
  loop_.unwatch(fd);
  loop_.unwatchWritable(fd);
  ::close(fd);
  connections_.erase(found);
  if (tellOwner && events_.closed) events_.closed(id);
}

}  // namespace tavrelle::chromium
