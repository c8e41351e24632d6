#include "platform/chromium/LaunchPageHold.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/IoEventLoop.h"
#include "platform/chromium/LoopbackListener.h"

namespace tavrelle::chromium {

namespace {
constexpr int kBacklog = 16;
}  // namespace

LaunchPageHold::LaunchPageHold(IoEventLoop& loop) : loop_(loop) {
  listenFd_ = ListenOnLoopback(port_, kBacklog, true);
  if (listenFd_ < 0) port_ = 0;
}

LaunchPageHold::~LaunchPageHold() {
  if (listenFd_ < 0) return;
  if (released_) loop_.unwatch(listenFd_);
  close(listenFd_);
}

void LaunchPageHold::release() {
  if (released_ || listenFd_ < 0) return;
  released_ = true;
  refuseWaitingConnections();
  loop_.watchReadable(listenFd_, [this] { refuseWaitingConnections(); });
}

void LaunchPageHold::refuseWaitingConnections() {
  for (;;) {
    int connection = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection >= 0) {
      close(connection);
      continue;
    }
    // Out of descriptors: the waiting connections stay held rather than the loop spinning.
    if (errno == EMFILE || errno == ENFILE) loop_.unwatch(listenFd_);
    return;  // none left, or a transient failure that the next wake retries
  }
}

}  // namespace tavrelle::chromium
