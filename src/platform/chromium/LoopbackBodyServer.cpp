#include "platform/chromium/LoopbackBodyServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <optional>
#include <span>
#include <string_view>
#include <system_error>

#include "platform/chromium/LoopbackHttpMessages.h"
#include "platform/chromium/LoopbackListener.h"

namespace tavrelle::chromium {

namespace {

constexpr size_t kTokenBytes = 16;
constexpr size_t kTokenLength = 2 * kTokenBytes;  // lowercase hex
constexpr size_t kMaxRequestHead = size_t{16} * 1024;
constexpr size_t kBodyChunkBytes = size_t{1024} * 1024;
// Bytes one connection may send before the others get their turn.
constexpr size_t kFairShareBytes = size_t{16} * 1024 * 1024;
// How long a finished connection waits for the client to close first, so that a late
// byte from the client cannot turn the close into a reset that discards the response's tail.
constexpr std::chrono::milliseconds kDrainTime{2'000};
// Upper bound of one poll; expired offers are released at this pace.
constexpr std::chrono::milliseconds kMaxPollWait{1'000};
constexpr std::chrono::milliseconds kAcceptPause{100};
constexpr int kListenBacklog = 512;
// New clients taken per turn of the loop, so that those taken last turn read their
// heads before anyone is dropped to make room.
constexpr int kAcceptsPerTurn = 8;

using Token = std::array<char, kTokenLength>;

std::optional<Token> newToken() {
  std::array<unsigned char, kTokenBytes> random{};
  size_t filled = 0;
  while (filled < random.size()) {
    ssize_t got = getrandom(random.data() + filled, random.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;
    }
    filled += static_cast<size_t>(got);
  }
  static constexpr std::string_view kHex = "0123456789abcdef";
  Token token{};
  for (size_t i = 0; i < random.size(); ++i) {
    token[2 * i] = kHex[random[i] >> 4];
    token[2 * i + 1] = kHex[random[i] & 0xf];
  }
  return token;
}

bool isTokenShaped(std::string_view text) {
  return text.size() == kTokenLength && std::all_of(text.begin(), text.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// Takes the same time wherever the first difference is, so that a local process cannot
// guess a token byte by byte.
bool tokensEqual(const Token& stored, std::string_view candidate) {
  unsigned char difference = 0;
  for (size_t i = 0; i < kTokenLength; ++i) {
    difference |= static_cast<unsigned char>(stored[i] ^ candidate[i]);
  }
  return difference == 0;
}

}  // namespace

struct LoopbackBodyServer::Offer {
  Token token{};
  int status = 200;
  std::string reason;
  std::string headerBlock;
  std::shared_ptr<const webview::ResponseBody> body;
  Clock::time_point expiresAt;
};

struct LoopbackBodyServer::Connection {
  enum class Phase { ReadingRequest, Responding, Draining, Closed };

  int fd = -1;
  Phase phase = Phase::ReadingRequest;
  Clock::time_point deadline;
  // Since when it waits for a request head: the oldest waiter makes room for newcomers.
  Clock::time_point waitingSince;
  std::string received;
  bool keepAlive = false;

  std::string head;
  size_t headSent = 0;
  std::shared_ptr<const webview::ResponseBody> body;
  std::span<const std::byte> contiguous;  // the body's own memory, when it has one
  uint64_t bodySize = 0;
  uint64_t bodySent = 0;
  std::vector<std::byte> chunk;  // bytes read from a body that has no contiguous memory
  size_t chunkBegin = 0;
  size_t chunkEnd = 0;

  [[nodiscard]] std::span<const std::byte> nextBytes();
  void advance(size_t sent);
};

std::span<const std::byte> LoopbackBodyServer::Connection::nextBytes() {
  if (headSent < head.size()) return std::as_bytes(std::span(head).subspan(headSent));
  if (bodySent >= bodySize) return {};
  if (!contiguous.empty()) return contiguous.subspan(bodySent);
  if (chunkBegin == chunkEnd) {
    chunk.resize(kBodyChunkBytes);
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(kBodyChunkBytes, bodySize - bodySent));
    chunkBegin = 0;
    chunkEnd = std::min(wanted, body->read(bodySent, std::span(chunk.data(), wanted)));
  }
  return std::span<const std::byte>(chunk).subspan(chunkBegin, chunkEnd - chunkBegin);
}

void LoopbackBodyServer::Connection::advance(size_t sent) {
  if (headSent < head.size()) {
    headSent += sent;
    return;
  }
  bodySent += sent;
  if (contiguous.empty()) chunkBegin += sent;
}

// ----- Lifetime -----

std::unique_ptr<LoopbackBodyServer> LoopbackBodyServer::start(std::string allowedOrigin) {
  return start(std::move(allowedOrigin), LoopbackBodyServerOptions{});
}

std::unique_ptr<LoopbackBodyServer> LoopbackBodyServer::start(std::string allowedOrigin,
                                                              LoopbackBodyServerOptions options) {
  auto fds = ListenOnLoopbackWithWake(kListenBacklog, true);
  if (!fds) return nullptr;
  std::unique_ptr<LoopbackBodyServer> server(new LoopbackBodyServer(
      std::move(allowedOrigin), std::move(options), fds->listenFd, fds->wakeFd, fds->port));
  try {
    server->thread_ = std::thread([raw = server.get()] { raw->serve(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return server;
}

LoopbackBodyServer::LoopbackBodyServer(std::string allowedOrigin, LoopbackBodyServerOptions options,
                                       int listenFd, int wakeFd, uint16_t port)
    : allowedOrigin_(std::move(allowedOrigin)),
      options_(std::move(options)),
      listenFd_(listenFd),
      wakeFd_(wakeFd),
      port_(port) {}

LoopbackBodyServer::~LoopbackBodyServer() {
  stop();
  close(wakeFd_);
}

void LoopbackBodyServer::stop() {
  if (stopping_.exchange(true)) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  close(listenFd_);
  std::vector<Offer> released;
  std::lock_guard lock(offersMutex_);
  released.swap(offers_);
}

LoopbackBodyServer::Clock::time_point LoopbackBodyServer::now() const {
  return options_.clock ? options_.clock() : Clock::now();
}

// ----- Offers -----

std::string LoopbackBodyServer::offer(int status, const std::string& reason,
                                      const std::string& headerBlock,
                                      std::shared_ptr<const webview::ResponseBody> body) {
  if (stopping_.load()) return {};
  std::optional<Token> token = newToken();
  if (!token) return {};
  std::string url =
      "http://127.0.0.1:" + std::to_string(port_) + "/" + std::string(token->data(), token->size());
  Offer offered{*token,      status,          reason,
                headerBlock, std::move(body), now() + options_.offerLifetime};
  std::lock_guard lock(offersMutex_);
  if (offers_.size() >= options_.maxPendingOffers) return {};
  offers_.push_back(std::move(offered));
  return url;
}

size_t LoopbackBodyServer::pendingOffers() const {
  std::lock_guard lock(offersMutex_);
  return offers_.size();
}

void LoopbackBodyServer::dropExpiredOffers() {
  Clock::time_point current = now();
  std::vector<Offer> expired;  // released after the lock, their bodies may be costly to free
  std::lock_guard lock(offersMutex_);
  auto firstExpired = std::stable_partition(offers_.begin(), offers_.end(),
                                            [&](const Offer& o) { return o.expiresAt > current; });
  expired.assign(std::make_move_iterator(firstExpired), std::make_move_iterator(offers_.end()));
  offers_.erase(firstExpired, offers_.end());
}

bool LoopbackBodyServer::takeOffer(std::string_view target, Offer& taken) {
  if (target.empty() || target.front() != '/' || !isTokenShaped(target.substr(1))) return false;
  std::string_view token = target.substr(1);
  dropExpiredOffers();
  std::lock_guard lock(offersMutex_);
  size_t match = offers_.size();
  for (size_t i = 0; i < offers_.size(); ++i) {
    if (tokensEqual(offers_[i].token, token)) match = i;
  }
  if (match == offers_.size()) return false;
  taken = std::move(offers_[match]);
  offers_.erase(offers_.begin() + static_cast<std::ptrdiff_t>(match));
  return true;
}

// ----- The serving loop -----

void LoopbackBodyServer::serve() {
  std::vector<pollfd> fds;
  while (!stopping_.load()) {
    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    bool roomForOne = connections_.size() < options_.maxConnections ||
                      std::any_of(connections_.begin(), connections_.end(), [](const auto& c) {
                        return c->phase == Connection::Phase::ReadingRequest;
                      });
    bool accepting = roomForOne && !acceptPaused_;
    fds.push_back({listenFd_, static_cast<short>(accepting ? POLLIN : 0), 0});
    for (const auto& connection : connections_) {
      bool writing = connection->phase == Connection::Phase::Responding;
      fds.push_back({connection->fd, static_cast<short>(writing ? POLLOUT : POLLIN), 0});
    }
    int ready = poll(fds.data(), fds.size(), pollTimeoutMs());
    acceptPaused_ = false;
    dropExpiredOffers();
    if (ready > 0) {
      size_t polled = connections_.size();
      for (size_t i = 0; i < polled && !stopping_.load(); ++i) {
        if (fds[i + 2].revents != 0) serviceConnection(*connections_[i], fds[i + 2].revents);
      }
      if ((fds[1].revents & POLLIN) != 0) acceptClients();
    }
    dropOverdueConnections();
    removeClosedConnections();
  }
  for (const auto& connection : connections_) closeConnection(*connection);
  connections_.clear();
}

int LoopbackBodyServer::pollTimeoutMs() const {
  Clock::time_point current = now();
  auto wait = acceptPaused_ ? kAcceptPause : kMaxPollWait;
  for (const auto& connection : connections_) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(connection->deadline - current);
    wait = std::min(wait, left);
  }
  return static_cast<int>(std::max<int64_t>(0, wait.count()));
}

void LoopbackBodyServer::acceptClients() {
  for (int taken = 0; taken < kAcceptsPerTurn; ++taken) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      // Out of descriptors or memory: the listener stays readable, so leave it out of
      // one poll instead of spinning on it.
      if (errno != EAGAIN && errno != EWOULDBLOCK) acceptPaused_ = true;
      return;
    }
    if (openConnections_.load() >= options_.maxConnections && !dropOldestWaitingForHead()) {
      close(fd);  // every connection is being answered
      return;
    }
    // The last segment of a response must not wait for the client's delayed ACK.
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    connection->waitingSince = now();
    connection->deadline = connection->waitingSince + options_.requestTimeout;
    connections_.push_back(std::move(connection));
    openConnections_.fetch_add(1);
  }
}

bool LoopbackBodyServer::dropOldestWaitingForHead() {
  Connection* oldest = nullptr;
  for (const auto& connection : connections_) {
    if (connection->phase != Connection::Phase::ReadingRequest) continue;
    if (!oldest || connection->waitingSince < oldest->waitingSince) oldest = connection.get();
  }
  if (!oldest) return false;
  closeConnection(*oldest);
  return true;
}

void LoopbackBodyServer::serviceConnection(Connection& connection, short revents) {
  switch (connection.phase) {
    case Connection::Phase::ReadingRequest:
      receiveRequest(connection);
      break;
    case Connection::Phase::Responding:
      if ((revents & (POLLOUT | POLLERR | POLLHUP)) != 0) sendResponse(connection);
      break;
    case Connection::Phase::Draining:
      drain(connection);
      break;
    case Connection::Phase::Closed:
      break;
  }
}

void LoopbackBodyServer::dropOverdueConnections() {
  Clock::time_point current = now();
  for (const auto& connection : connections_) {
    if (connection->phase != Connection::Phase::Closed && connection->deadline <= current) {
      closeConnection(*connection);
    }
  }
}

void LoopbackBodyServer::removeClosedConnections() {
  std::erase_if(connections_, [](const std::unique_ptr<Connection>& connection) {
    return connection->phase == Connection::Phase::Closed;
  });
}

void LoopbackBodyServer::closeConnection(Connection& connection) {
  if (connection.phase == Connection::Phase::Closed) return;
  close(connection.fd);
  connection.fd = -1;
  connection.phase = Connection::Phase::Closed;
  connection.body.reset();
  connection.contiguous = {};
  connection.chunk = {};
  openConnections_.fetch_sub(1);
}

// ----- One connection -----

void LoopbackBodyServer::waitForRequest(Connection& connection) {
  connection.phase = Connection::Phase::ReadingRequest;
  connection.received.clear();
  connection.head.clear();
  connection.headSent = 0;
  connection.bodySize = 0;
  connection.bodySent = 0;
  connection.chunkBegin = connection.chunkEnd = 0;
  connection.waitingSince = now();
  connection.deadline = connection.waitingSince + options_.keepAliveTimeout;
}

void LoopbackBodyServer::receiveRequest(Connection& connection) {
  std::array<char, 4096> buffer{};
  while (true) {
    size_t room = kMaxRequestHead - connection.received.size();
    if (room == 0) {
      startResponse(connection,
                    emptyResponseHead(431, "Request Header Fields Too Large", allowedOrigin_));
      return;
    }
    ssize_t got = recv(connection.fd, buffer.data(), std::min(buffer.size(), room), 0);
    if (got > 0) {
      if (connection.received.empty()) {
        // An idle kept connection gets the same short time for its head as a new one.
        connection.deadline = std::min(connection.deadline, now() + options_.requestTimeout);
      }
      connection.received.append(buffer.data(), static_cast<size_t>(got));
      if (auto length = requestHeadLength(connection.received)) {
        // Bytes past the head (a request body or a pipelined request) are not kept for a
        // next request: that connection ends after its answer.
        connection.keepAlive = connection.received.size() == *length;
        answerRequest(connection, std::string_view(connection.received).substr(0, *length));
        return;
      }
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closeConnection(connection);
    return;
  }
}

void LoopbackBodyServer::answerRequest(Connection& connection, std::string_view head) {
  std::optional<LoopbackRequestHead> request = parseRequestHead(head);
  if (!request) {
    startResponse(connection, emptyResponseHead(400, "Bad Request", allowedOrigin_));
    return;
  }
  bool keepAlive = connection.keepAlive && !request->hasBody && !request->wantsClose;
  if (request->isPreflight) {
    startResponse(connection,
                  preflightResponseHead(allowedOrigin_, request->accessControlRequestHeaders,
                                        request->accessControlRequestMethod, keepAlive),
                  keepAlive);
    return;
  }
  Offer taken;
  if (!takeOffer(request->target, taken)) {
    // Telling a guesser anything, even "not found", would only help it.
    closeConnection(connection);
    return;
  }
  startBodyResponse(connection, std::move(taken), request->method != "HEAD", keepAlive);
}

void LoopbackBodyServer::startBodyResponse(Connection& connection, Offer offer, bool withBody,
                                           bool keepAlive) {
  uint64_t size = offer.body ? offer.body->size() : 0;
  std::string head = bodyResponseHead(offer.status, offer.reason, offer.headerBlock, size,
                                      allowedOrigin_, keepAlive);
  if (withBody && size > 0) {
    connection.body = std::move(offer.body);
    connection.bodySize = size;
    std::span<const std::byte> bytes = connection.body->contiguousBytes();
    if (bytes.size() >= size) connection.contiguous = bytes.first(static_cast<size_t>(size));
  }
  startResponse(connection, std::move(head), keepAlive);
}

void LoopbackBodyServer::startResponse(Connection& connection, std::string head, bool keepAlive) {
  connection.received.clear();
  connection.keepAlive = keepAlive;
  connection.head = std::move(head);
  connection.headSent = 0;
  connection.phase = Connection::Phase::Responding;
  connection.deadline = now() + options_.stallTimeout;
  sendResponse(connection);
}

void LoopbackBodyServer::sendResponse(Connection& connection) {
  size_t budget = kFairShareBytes;
  while (budget > 0) {
    std::span<const std::byte> pending = connection.nextBytes();
    if (pending.empty()) {
      // Nothing left to send, or the body ended early: cut the connection so the client
      // sees a short body rather than a complete one.
      if (connection.bodySent == connection.bodySize) {
        finishResponse(connection);
      } else {
        closeConnection(connection);
      }
      return;
    }
    int flags = MSG_NOSIGNAL;
    bool headOnly = connection.headSent < connection.head.size();
    if (headOnly && connection.bodySent < connection.bodySize) flags |= MSG_MORE;
    ssize_t sent = send(connection.fd, pending.data(), std::min(pending.size(), budget), flags);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) closeConnection(connection);
      return;
    }
    connection.advance(static_cast<size_t>(sent));
    budget -= static_cast<size_t>(sent);
    connection.deadline = now() + options_.stallTimeout;
  }
}

void LoopbackBodyServer::finishResponse(Connection& connection) {
  connection.body.reset();
  connection.contiguous = {};
  connection.chunk = {};
  if (connection.keepAlive) {
    waitForRequest(connection);
    return;
  }
  shutdown(connection.fd, SHUT_WR);
  connection.phase = Connection::Phase::Draining;
  connection.deadline = now() + kDrainTime;
}

void LoopbackBodyServer::drain(Connection& connection) {
  std::array<char, 4096> discarded{};
  // Bounded, so that a client sending without end cannot hold the serving thread.
  for (int round = 0; round < 16; ++round) {
    ssize_t got = recv(connection.fd, discarded.data(), discarded.size(), 0);
    if (got > 0) continue;
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) closeConnection(connection);
    return;
  }
}

}  // namespace tavrelle::chromium
