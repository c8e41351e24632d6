#include "support/LoopbackHttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace tavrelle::test {

namespace {

constexpr int kReadTimeoutSeconds = 60;

int connectTo(uint16_t port, const std::string& address) {
  bool v6 = address.find(':') != std::string::npos;
  int fd = socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "socket");
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (v6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    inet_pton(AF_INET6, address.c_str(), &in6->sin6_addr);
    length = sizeof *in6;
  } else {
    auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
    in4->sin_family = AF_INET;
    in4->sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &in4->sin_addr);
    length = sizeof *in4;
  }
  if (connect(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
    int error = errno;
    close(fd);
    throw std::system_error(error, std::generic_category(), "connect " + address);
  }
  timeval timeout{kReadTimeoutSeconds, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Each "Name: value" line of a response head, the status line and blank line left out.
std::vector<std::pair<std::string_view, std::string_view>> headerFields(std::string_view head) {
  std::vector<std::pair<std::string_view, std::string_view>> fields;
  size_t start = head.find("\r\n");
  while (start != std::string_view::npos) {
    start += 2;
    size_t end = head.find("\r\n", start);
    if (end == std::string_view::npos || end == start) break;
    std::string_view line = head.substr(start, end - start);
    size_t colon = line.find(": ");
    if (colon != std::string_view::npos) fields.emplace_back(line.substr(0, colon), line.substr(colon + 2));
    start = end;
  }
  return fields;
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
    if (sent < 0) {
      if (errno == EINTR) continue;
      throw std::system_error(errno, std::generic_category(), "send");
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
}

void LoopbackHttpClient::sendRequest(std::string_view method, std::string_view target,
                                     std::string_view extraHeaderLines) {
  std::string request;
  request.append(method).append(" ").append(target).append(" HTTP/1.1\r\n");
  request.append("Host: 127.0.0.1\r\n").append(extraHeaderLines).append("\r\n");
  send(request);
}

std::string LoopbackHttpClient::readHead() {
  std::array<char, 4096> buffer{};
  while (true) {
    size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      std::string head = pending_.substr(0, end + 4);
      pending_.erase(0, end + 4);
      return head;
    }
    ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      throw std::runtime_error("no response head in time");
    }
    if (got <= 0) return {};
    pending_.append(buffer.data(), static_cast<size_t>(got));
  }
}

uint64_t LoopbackHttpClient::readBody(const std::function<void(std::span<const std::byte>)>& sink) {
  uint64_t total = pending_.size();
  if (!pending_.empty()) sink(std::as_bytes(std::span(pending_)));
  pending_.clear();
  std::vector<std::byte> buffer(4 * 1024 * 1024);
  while (true) {
    ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      throw std::runtime_error("body stalled");
    }
    if (got <= 0) return total;
    sink(std::span(buffer.data(), static_cast<size_t>(got)));
    total += static_cast<uint64_t>(got);
  }
}

std::string LoopbackHttpClient::readBodyText() {
  std::string body;
  readBody([&](std::span<const std::byte> bytes) {
    body.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  });
  return body;
}

bool LoopbackHttpClient::waitForClose() {
  std::array<char, 256> buffer{};
  while (true) {
    ssize_t got = recv(fd_, buffer.data(), buffer.size(), 0);
    if (got < 0 && errno == EINTR) continue;
    if (got == 0 || (got < 0 && errno == ECONNRESET)) return true;
    return false;
  }
}

void LoopbackHttpClient::abort() {
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd_);
  fd_ = -1;
}

std::optional<std::string> LoopbackHttpResponse::header(std::string_view name) const {
  for (const auto& [fieldName, value] : headerFields(head)) {
    if (sameName(fieldName, name)) return std::string(value);
  }
  return std::nullopt;
}

int LoopbackHttpResponse::countOf(std::string_view name) const {
  int count = 0;
  for (const auto& field : headerFields(head)) {
    if (sameName(field.first, name)) ++count;
  }
  return count;
}

LoopbackHttpResponse fetchLoopback(uint16_t port, std::string_view method, std::string_view target,
                                   std::string_view extraHeaderLines) {
  LoopbackHttpClient client(port);
  client.sendRequest(method, target, extraHeaderLines);
  LoopbackHttpResponse response;
  response.head = client.readHead();
  if (response.head.size() >= 12 && response.head.starts_with("HTTP/1.1 ")) {
    response.status = std::stoi(response.head.substr(9, 3));
  }
  response.body = client.readBodyText();
  return response;
}

std::string pathOfUrl(const std::string& url) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  size_t slash = url.find('/', scheme + 3);
  return slash == std::string::npos ? std::string() : url.substr(slash);
}

}  // namespace tavrelle::test
