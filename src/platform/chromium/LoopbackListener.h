#pragma once

#include <cstdint>

namespace tavrelle::chromium {

// A TCP listening socket on 127.0.0.1 at a port the kernel picks; its number goes to
// `port`. The descriptor, or -1 when the socket could not be made.
[[nodiscard]] int ListenOnLoopback(uint16_t& port, int backlog, bool nonBlocking);

}  // namespace tavrelle::chromium
