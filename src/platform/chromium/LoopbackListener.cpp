#include "platform/chromium/LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tavrelle::chromium {

int ListenOnLoopback(uint16_t& port, int backlog, bool nonBlocking) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, backlog) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

std::optional<LoopbackListenerFds> ListenOnLoopbackWithWake(int backlog, bool nonBlocking) {
  LoopbackListenerFds fds;
  fds.listenFd = ListenOnLoopback(fds.port, backlog, nonBlocking);
  if (fds.listenFd < 0) return std::nullopt;
  fds.wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fds.wakeFd < 0) {
    close(fds.listenFd);
    return std::nullopt;
  }
  return fds;
}

}  // namespace tavrelle::chromium
