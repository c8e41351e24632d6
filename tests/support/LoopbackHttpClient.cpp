#include "support/LoopbackHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tavrelle::test {

namespace {

int connectTo(uint16_t port, const std::string& address) {
  bool v6 = address.find(':') != std::string::npos;
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
  sockaddr_in6 in6{};
  in6.sin6_family = AF_INET6;
  in6.sin6_port = htons(port);
  sockaddr_in in4{};
  in4.sin_family = AF_INET;
  in4.sin_port = htons(port);
  inet_pton(v6 ? AF_INET6 : AF_INET, address.c_str(),
            v6 ? static_cast<void*>(&in6.sin6_addr) : static_cast<void*>(&in4.sin_addr));
  int result = v6 ? connect(fd, reinterpret_cast<sockaddr*>(&in6), sizeof in6)
                  : connect(fd, reinterpret_cast<sockaddr*>(&in4), sizeof in4);
  if (result != 0) {
    int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(), "connect " + address);
  }
  timeval timeout{60, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

// Bytes received, retrying interrupted calls; throws when the read timed out.
ssize_t receive(int fd, void* buffer, size_t size) {
  while (true) {
    ssize_t got = recv(fd, buffer, size, 0);
    if (got >= 0 || errno != EINTR) {
      if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        throw std::runtime_error("no response in time");
      }
      return got;
    }
  }
}

// The values of every header line named `name` (any case).
std::vector<std::string> headerValues(std::string_view head, std::string_view name) {
  std::vector<std::string> values;
  for (size_t start = head.find("\r\n"); start != std::string_view::npos;) {
    start += 2;
    size_t end = head.find("\r\n", start);
    if (end == std::string_view::npos || end == start) break;
    std::string_view line = head.substr(start, end - start);
    size_t colon = line.find(": ");
    if (colon == name.size() && strncasecmp(line.data(), name.data(), name.size()) == 0) {
      values.emplace_back(line.substr(colon + 2));
    }
    start = end;
  }
  return values;
}

}  // namespace

LoopbackHttpClient::LoopbackHttpClient(uint16_t port, const std::string& address)
    : fd_(connectTo(port, address)) {}

LoopbackHttpClient::~LoopbackHttpClient() {
  if (fd_ >= 0) close(fd_);
}

void LoopbackHttpClient::send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0) throw std::system_error(errno, std::generic_category(), "send");
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

void LoopbackHttpClient::sendRequest(std::string_view method, std::string_view target,
                                     std::string_view extraHeaderLines, bool keepConnection) {
  send(std::string(method) + " " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
       std::string(extraHeaderLines) + (keepConnection ? "" : "Connection: close\r\n") + "\r\n");
}

std::string LoopbackHttpClient::readHead() {
  std::array<char, 4096> buffer{};
  for (size_t end; (end = pending_.find("\r\n\r\n")) == std::string::npos;) {
    ssize_t got = receive(fd_, buffer.data(), buffer.size());
    if (got <= 0) return {};
    pending_.append(buffer.data(), static_cast<size_t>(got));
  }
  size_t end = pending_.find("\r\n\r\n") + 4;
  std::string head = pending_.substr(0, end);
  pending_.erase(0, end);
  return head;
}

uint64_t LoopbackHttpClient::readBody(const std::function<void(std::span<const std::byte>)>& sink) {
  uint64_t total = pending_.size();
  if (!pending_.empty()) sink(std::as_bytes(std::span(pending_)));
  pending_.clear();
  std::vector<std::byte> buffer(4 * 1024 * 1024);
  for (ssize_t got; (got = receive(fd_, buffer.data(), buffer.size())) > 0;) {
    sink(std::span(buffer.data(), static_cast<size_t>(got)));
    total += static_cast<uint64_t>(got);
  }
  return total;
}

std::string LoopbackHttpClient::readBodyText() {
  std::string body;
  readBody([&](std::span<const std::byte> bytes) {
    body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  });
  return body;
}

std::string LoopbackHttpClient::readBodyText(size_t length) {
  std::string body = pending_.substr(0, length);
  pending_.erase(0, body.size());
  std::array<char, 4096> buffer{};
  while (body.size() < length) {
    ssize_t got = receive(fd_, buffer.data(), std::min(buffer.size(), length - body.size()));
    if (got <= 0) break;
    body.append(buffer.data(), static_cast<size_t>(got));
  }
  return body;
}

bool LoopbackHttpClient::waitForClose() {
  char byte = 0;
  ssize_t got = 0;
  do {
    got = recv(fd_, &byte, 1, 0);
  } while (got < 0 && errno == EINTR);
  return got == 0 || (got < 0 && errno == ECONNRESET);
}

void LoopbackHttpClient::abort() {
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd_);
  fd_ = -1;
}

std::optional<std::string> LoopbackHttpResponse::header(std::string_view name) const {
  auto values = headerValues(head, name);
  return values.empty() ? std::nullopt : std::optional(values.front());
}

int LoopbackHttpResponse::countOf(std::string_view name) const {
  return static_cast<int>(headerValues(head, name).size());
}

LoopbackHttpResponse fetchLoopback(uint16_t port, std::string_view method, std::string_view target,
                                   std::string_view extraHeaderLines) {
  LoopbackHttpClient client(port);
  client.sendRequest(method, target, extraHeaderLines);
  LoopbackHttpResponse response;
  response.head = client.readHead();
  if (response.head.starts_with("HTTP/1.1 ") && response.head.size() >= 12) {
    response.status = std::stoi(response.head.substr(9, 3));
  }
  response.body = client.readBodyText();
  return response;
}

std::string pathOfUrl(const std::string& url) {
  size_t scheme = url.find("://");
  size_t slash = scheme == std::string::npos ? scheme : url.find('/', scheme + 3);
  return slash == std::string::npos ? std::string() : url.substr(slash);
}

}  // namespace tavrelle::test
