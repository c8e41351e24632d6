#include "support/LoopbackHttpClient.h"

#include <netdb.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <regex>
#include <stdexcept>
#include <system_error>

namespace tavrelle::test {

namespace {

int connectTo(uint16_t port, const std::string& address) {
  addrinfo hints{};
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    throw std::invalid_argument("not a numeric address: " + address);
  }
  int fd = socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int error = fd < 0 || connect(fd, found->ai_addr, found->ai_addrlen) != 0 ? errno : 0;
  freeaddrinfo(found);
  if (error != 0) {
    if (fd >= 0) close(fd);
    throw std::system_error(error, std::generic_category(), "connect " + address);
  }
  timeval timeout{60, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  return fd;
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

bool LoopbackHttpClient::receiveMore() {
  const size_t kept = pending_.size();
  pending_.resize(kept + 256 * 1024);
  ssize_t got = 0;
  do {
    got = recv(fd_, pending_.data() + kept, pending_.size() - kept, 0);
  } while (got < 0 && errno == EINTR);
  const int error = errno;
  pending_.resize(kept + static_cast<size_t>(std::max<ssize_t>(got, 0)));
  if (got < 0 && (error == EAGAIN || error == EWOULDBLOCK)) {
    throw std::runtime_error("no response in time");
  }
  return got > 0;
}

std::string LoopbackHttpClient::readHead() {
  size_t end = 0;
  while ((end = pending_.find("\r\n\r\n")) == std::string::npos) {
    if (!receiveMore()) return {};
  }
  std::string head = pending_.substr(0, end + 4);
  pending_.erase(0, end + 4);
  return head;
}

std::string LoopbackHttpClient::readBodyText(size_t length) {
  while (pending_.size() < length && receiveMore()) {
  }
  std::string body = pending_.substr(0, length);
  pending_.erase(0, body.size());
  return body;
}

void LoopbackHttpClient::abort() {
  linger hard{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  close(fd_);
  fd_ = -1;
}

int statusOf(std::string_view head) {
  return head.starts_with("HTTP/1.1 ") && head.size() >= 12
             ? std::stoi(std::string(head.substr(9, 3)))
             : 0;
}

std::optional<std::string> LoopbackHttpResponse::header(std::string_view name) const {
  std::smatch value;
  const std::regex line("\r\n" + std::string(name) + ": ([^\r]*)\r\n", std::regex::icase);
  return std::regex_search(head, value, line) ? std::optional(value[1].str()) : std::nullopt;
}

LoopbackHttpResponse fetchLoopback(uint16_t port, std::string_view method, std::string_view target,
                                   std::string_view extraHeaderLines, std::string_view body) {
  LoopbackHttpClient client(port);
  client.sendRequest(method, target, extraHeaderLines);
  client.send(body);
  LoopbackHttpResponse response;
  response.head = client.readHead();
  response.status = statusOf(response.head);
  response.body = client.readBodyText();
  return response;
}

std::string pathOfUrl(const std::string& url) {
  size_t scheme = url.find("://");
  size_t slash = scheme == std::string::npos ? scheme : url.find('/', scheme + 3);
  return slash == std::string::npos ? std::string() : url.substr(slash);
}

}  // namespace tavrelle::test
