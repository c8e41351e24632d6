#pragma once

#include <cstdint>
#include <optional>

namespace tavrelle::chromium {

// A TCP listening socket on 127.0.0.1 at a port the kernel picks; its number goes to
// `port`. The descriptor, or -1 when the socket could not be made.
[[nodiscard]] int ListenOnLoopback(uint16_t& port, int backlog, bool nonBlocking);

// A loopback listener with the event descriptor that wakes its serving thread.
struct LoopbackListenerFds {
  int listenFd = -1;
  int wakeFd = -1;
  uint16_t port = 0;
};
// Both descriptors, or nothing (and none left open) when either could not be made.
[[nodiscard]] std::optional<LoopbackListenerFds> ListenOnLoopbackWithWake(int backlog,
                                                                          bool nonBlocking);

}  // namespace tavrelle::chromium
