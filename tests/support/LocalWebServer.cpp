#include "support/LocalWebServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace tavrelle::test {

LocalWebServer::LocalWebServer(std::string page) : page_(std::move(page)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      listen(listener_, 64) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("the local web server could not listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { run(); });
}

LocalWebServer::~LocalWebServer() {
  shutdown(listener_, SHUT_RDWR);  // ends the accept in run()
  thread_.join();
  close(listener_);
}

void LocalWebServer::run() {
  while (true) {
    const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0 && errno == EINVAL) return;  // shut down
    if (connection < 0) continue;
    ++connections_;
    answer(connection);
    close(connection);
  }
}

void LocalWebServer::answer(int connection) const {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd fd{connection, POLLIN, 0};
    if (poll(&fd, 1, 5000) <= 0) return;
    ssize_t got = read(connection, buffer, sizeof buffer);
    if (got <= 0) return;
    request.append(buffer, static_cast<size_t>(got));
  }
  const std::string response =
      "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nCache-Control: no-store\r\nContent-Length: " +
      std::to_string(page_.size()) + "\r\nConnection: close\r\n\r\n" + page_;
  size_t done = 0;
  while (done < response.size()) {
    ssize_t written =
        send(connection, response.data() + done, response.size() - done, MSG_NOSIGNAL);
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

}  // namespace tavrelle::test
