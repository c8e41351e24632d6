#include "platform/chromium/LoopbackUploadReceiver.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <iterator>
#include <optional>
#include <string_view>
#include <system_error>

#include "platform/chromium/LoopbackHttpMessages.h"
#include "platform/chromium/LoopbackListener.h"

namespace tavrelle::chromium {

namespace {

constexpr size_t kTokenBytes = 16;
constexpr size_t kMaxRequestHead = size_t{16} * 1024;
constexpr size_t kReceiveChunk = size_t{1} << 20;
constexpr std::chrono::seconds kOfferLifetime{60};
constexpr time_t kSocketTimeoutSeconds = 10;
constexpr time_t kDrainSeconds = 1;
constexpr size_t kDrainRounds = 256;
// Connections received at once; more wait in the listen queue.
constexpr size_t kMaxConnections = 16;
// How often a full receiver looks again for a finished connection.
constexpr int kFullRetryMs = 50;

std::string NewToken() {
  std::array<unsigned char, kTokenBytes> random{};
  size_t filled = 0;
  while (filled < random.size()) {
    ssize_t got = getrandom(random.data() + filled, random.size() - filled, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    filled += static_cast<size_t>(got);
  }
  static constexpr std::string_view kHex = "0123456789abcdef";
  std::string token;
  for (unsigned char byte : random) {
    token += kHex[byte >> 4];
    token += kHex[byte & 0xf];
  }
  return token;
}

// Takes the same time wherever the first difference is.
bool TokensEqual(std::string_view stored, std::string_view candidate) {
  if (stored.size() != candidate.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < stored.size(); ++i)
    difference |= static_cast<unsigned char>(stored[i] ^ candidate[i]);
  return difference == 0;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of a header in a request head; nothing when absent.
std::optional<std::string_view> HeaderValue(std::string_view head, std::string_view name) {
  size_t lineStart = head.find("\r\n");
  while (lineStart != std::string_view::npos) {
    lineStart += 2;
    size_t lineEnd = head.find("\r\n", lineStart);
    std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    size_t colon = line.find(':');
    if (colon == name.size() && std::equal(name.begin(), name.end(), line.begin(),
                                           [](char a, char b) { return Lower(a) == Lower(b); })) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
      while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
      return value;
    }
    lineStart = lineEnd;
  }
  return std::nullopt;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

void Answer(int fd, int status, std::string_view reason, std::string_view origin,
            std::string_view extraLines = {}) {
  std::string head = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
  // The token is what grants the upload; the answer says nothing beyond the status.
  if (!origin.empty()) head += "Access-Control-Allow-Origin: " + std::string(origin) + "\r\n";
  head += "Access-Control-Allow-Private-Network: true\r\n";
  head += extraLines;
  head += "Cache-Control: no-store\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  SendAll(fd, head);
}

}  // namespace

std::unique_ptr<LoopbackUploadReceiver> LoopbackUploadReceiver::start() {
  auto fds = ListenOnLoopbackWithWake(static_cast<int>(kMaxConnections), false);
  if (!fds) return nullptr;
  std::unique_ptr<LoopbackUploadReceiver> receiver(
      new LoopbackUploadReceiver(fds->listenFd, fds->wakeFd, fds->port));
  try {
    receiver->thread_ = std::thread([raw = receiver.get()] { raw->serve(); });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return receiver;
}

LoopbackUploadReceiver::LoopbackUploadReceiver(int listenFd, int wakeFd, uint16_t port)
    : listenFd_(listenFd), wakeFd_(wakeFd), port_(port) {}

LoopbackUploadReceiver::~LoopbackUploadReceiver() {
  stopping_ = true;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
  std::list<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(connectionsMutex_);
    for (const auto& connection : connections_) {
      if (connection->fd >= 0) shutdown(connection->fd, SHUT_RDWR);
    }
    connections.swap(connections_);
  }
  for (const auto& connection : connections) connection->thread.join();
  close(listenFd_);
  close(wakeFd_);
}

std::string LoopbackUploadReceiver::offer(std::shared_ptr<webview::RequestBodySink> sink) {
  if (stopping_) return {};
  std::string token = NewToken();
  if (token.empty()) return {};
  std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/" + token;
  std::lock_guard lock(offersMutex_);
  Clock::time_point now = Clock::now();
  std::erase_if(offers_, [&](const Offer& offer) { return offer.expiresAt <= now; });
  offers_.push_back(Offer{std::move(token), std::move(sink), now + kOfferLifetime});
  return url;
}

std::shared_ptr<webview::RequestBodySink> LoopbackUploadReceiver::takeOffer(
    const std::string& target) {
  if (target.size() < 2 || target.front() != '/') return nullptr;
  std::string_view token = std::string_view(target).substr(1);
  std::lock_guard lock(offersMutex_);
  Clock::time_point now = Clock::now();
  for (auto it = offers_.begin(); it != offers_.end(); ++it) {
    if (it->expiresAt > now && TokensEqual(it->token, token)) {
      auto sink = std::move(it->sink);
      offers_.erase(it);
      return sink;
    }
  }
  return nullptr;
}

void LoopbackUploadReceiver::serve() {
  while (!stopping_) {
    bool full = joinFinishedConnections() >= kMaxConnections;
    std::array<pollfd, 2> fds{
        {{wakeFd_, POLLIN, 0}, {listenFd_, static_cast<short>(full ? 0 : POLLIN), 0}}};
    if (poll(fds.data(), fds.size(), full ? kFullRetryMs : -1) < 0 && errno != EINTR) return;
    if (stopping_) return;
    if ((fds[1].revents & POLLIN) == 0) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    timeval timeout{kSocketTimeoutSeconds, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    startConnection(fd);
  }
}

void LoopbackUploadReceiver::startConnection(int fd) {
  std::lock_guard lock(connectionsMutex_);
  auto& connection = connections_.emplace_back(std::make_unique<Connection>());
  connection->fd = fd;
  try {
    connection->thread = std::thread([this, raw = connection.get()] { serveConnection(*raw); });
  } catch (const std::system_error&) {
    close(fd);
    connections_.pop_back();
  }
}

void LoopbackUploadReceiver::serveConnection(Connection& connection) {
  if (!stopping_) receive(connection.fd);
  finish(connection.fd);
  std::lock_guard lock(connectionsMutex_);
  close(connection.fd);
  connection.fd = -1;  // from now on nobody shuts it down: the number may be reused
  connection.finished = true;
}

size_t LoopbackUploadReceiver::joinFinishedConnections() {
  std::list<std::unique_ptr<Connection>> finished;
  size_t open = 0;
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if ((*it)->finished) {
        finished.splice(finished.end(), connections_, it);
      } else {
        ++open;
      }
      it = next;
    }
  }
  for (const auto& connection : finished) connection->thread.join();
  return open;
}

// Lets the client read the answer: closing with unread bytes would reset the connection
// and could discard the answer before the client read it.
void LoopbackUploadReceiver::finish(int fd) {
  shutdown(fd, SHUT_WR);
  timeval timeout{kDrainSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::array<char, 4096> discarded{};
  for (size_t round = 0; round < kDrainRounds && !stopping_; ++round) {
    ssize_t got = recv(fd, discarded.data(), discarded.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
  }
}

void LoopbackUploadReceiver::receive(int fd) {
  std::string received;
  std::vector<char> buffer(kReceiveChunk);
  std::optional<size_t> headLength;
  while (!headLength) {
    if (received.size() >= kMaxRequestHead)
      return Answer(fd, 431, "Request Header Fields Too Large", {});
    ssize_t got = recv(fd, buffer.data(), std::min(buffer.size(), kMaxRequestHead), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;
    received.append(buffer.data(), static_cast<size_t>(got));
    headLength = requestHeadLength(received);
  }
  std::string_view head = std::string_view(received).substr(0, *headLength);
  std::optional<LoopbackRequestHead> request = parseRequestHead(head);
  std::string origin(HeaderValue(head, "Origin").value_or(std::string_view()));
  if (!request) return Answer(fd, 400, "Bad Request", origin);
  if (request->method == "OPTIONS") {
    return Answer(fd, 204, "No Content", origin,
                  "Access-Control-Allow-Methods: POST\r\nAccess-Control-Max-Age: 600\r\n");
  }
  if (request->method != "POST")
    return Answer(fd, 405, "Method Not Allowed", origin, "Allow: POST, OPTIONS\r\n");
  auto sink = takeOffer(request->target);
  if (!sink) return Answer(fd, 404, "Not Found", origin);
  uint64_t length = 0;
  std::string_view lengthText = HeaderValue(head, "Content-Length").value_or("");
  auto parsed = std::from_chars(lengthText.data(), lengthText.data() + lengthText.size(), length);
  if (lengthText.empty() || parsed.ec != std::errc() ||
      parsed.ptr != lengthText.data() + lengthText.size())
    return Answer(fd, 411, "Length Required", origin);
  if (length != sink->size()) return Answer(fd, 400, "Bad Request", origin);

  uint64_t done = 0;
  std::string_view early = std::string_view(received).substr(*headLength);
  early = early.substr(0, static_cast<size_t>(std::min<uint64_t>(early.size(), length)));
  if (!early.empty()) {
    if (!sink->write(0, std::as_bytes(std::span(early.data(), early.size()))))
      return Answer(fd, 500, "Internal Server Error", origin);
    done = early.size();
  }
  while (done < length) {
    size_t wanted = static_cast<size_t>(std::min<uint64_t>(buffer.size(), length - done));
    ssize_t got = recv(fd, buffer.data(), wanted, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return;  // the page gave up or took too long: nothing to answer
    if (!sink->write(done, std::as_bytes(std::span(buffer.data(), static_cast<size_t>(got)))))
      return Answer(fd, 500, "Internal Server Error", origin);
    done += static_cast<uint64_t>(got);
  }
  Answer(fd, 204, "No Content", origin);
}

}  // namespace tavrelle::chromium
