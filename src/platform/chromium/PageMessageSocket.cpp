#include "platform/chromium/PageMessageSocket.h"

#include <algorithm>

#include "platform/chromium/RandomKey.h"

namespace tavrelle::chromium {

namespace {

bool isToken(std::string_view text) {
  return text.size() == PageMessageSocket::kTokenLength &&
         std::all_of(text.begin(), text.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

std::unique_ptr<PageMessageSocket> PageMessageSocket::start(IoEventLoop& loop,
                                                            size_t largestMessage,
                                                            PageMessage onMessage) {
  std::unique_ptr<PageMessageSocket> socket(
      new PageMessageSocket(randomKey(), std::move(onMessage)));
  MessageSocketServer::Events events;
  PageMessageSocket* self = socket.get();
  events.opening = [self](ConnectionId id, std::string_view target) {
    return self->onOpening(id, target);
  };
  events.opened = [self](ConnectionId id) { self->onOpened(id); };
  events.message = [self](ConnectionId id, std::string& text) { self->onMessage(id, text); };
  events.closed = [self](ConnectionId id) { self->onClosed(id); };
  socket->server_ = MessageSocketServer::start(loop, largestMessage, std::move(events));
  if (!socket->server_) return nullptr;
  return socket;
}

PageMessageSocket::PageMessageSocket(std::string key, PageMessage onMessage)
    : key_(std::move(key)), onMessage_(std::move(onMessage)) {}

std::string PageMessageSocket::address() const {
  return "ws://127.0.0.1:" + std::to_string(server_->port()) + "/" + key_;
}

bool PageMessageSocket::onOpening(ConnectionId connection, std::string_view target) {
  if (!target.starts_with('/') || target.substr(1, key_.size()) != key_) return false;
  std::string_view token = target.substr(1 + key_.size());
  if (!isToken(token)) return false;
  unclaimed_[connection] = std::string(token);
  return true;
}

void PageMessageSocket::onOpened(ConnectionId connection) {
  auto opened = unclaimed_.find(connection);
  if (opened == unclaimed_.end() || !announced_ || announced_->token != opened->second) return;
  unclaimed_.erase(opened);
  take(connection, announced_->context);
}

void PageMessageSocket::announce(int64_t context, std::string_view token) {
  if (taken_ && takenContext_ != context) {
    server_->close(*taken_);
    taken_.reset();
  }
  announced_ = Announcement{context, std::string(token)};
  // Sockets opened with another token belong to documents that are gone.
  std::optional<ConnectionId> claimed;
  for (const auto& [connection, itsToken] : unclaimed_) {
    if (itsToken == token) {
      claimed = connection;
    } else {
      server_->close(connection);
    }
  }
  unclaimed_.clear();
  if (claimed) take(*claimed, context);
}

void PageMessageSocket::take(ConnectionId connection, int64_t context) {
  if (taken_) server_->close(*taken_);
  announced_.reset();
  taken_ = connection;
  takenContext_ = context;
  server_->send(connection, kGreeting);
}

void PageMessageSocket::onMessage(ConnectionId connection, std::string& text) {
  // Only the document's own socket speaks, and only once the host has greeted it.
  if (taken_ != connection) {
    server_->close(connection);
    unclaimed_.erase(connection);
    return;
  }
  onMessage_(takenContext_, text);
}

void PageMessageSocket::onClosed(ConnectionId connection) {
  unclaimed_.erase(connection);
  if (taken_ == connection) taken_.reset();
}

bool PageMessageSocket::send(int64_t context, std::string_view text) {
  if (!taken_ || takenContext_ != context) return false;
  return server_->send(*taken_, text);
}

}  // namespace tavrelle::chromium
