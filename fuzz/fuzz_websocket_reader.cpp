// fuzz-sources: src/platform/chromium/WebSocketProtocol.cpp src/platform/chromium/Base64.cpp
// fuzz-libs: -lcrypto
// Feeds arbitrary bytes, in pieces whose sizes the input chooses, to the reader of the
// message socket's client frames.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <string_view>

#include "platform/chromium/WebSocketProtocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kLargest = 4096;
  tavrelle::chromium::WebSocketReader reader(kLargest);
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  while (!bytes.empty()) {
    const size_t piece = 1 + static_cast<uint8_t>(bytes.front()) % 64;
    bytes.remove_prefix(1);
    reader.append(bytes.substr(0, piece));
    bytes.remove_prefix(std::min(piece, bytes.size()));
    while (auto frame = reader.next()) {
      if (frame->payload.size() > kLargest) std::abort();
    }
    if (reader.failed() && reader.next()) std::abort();
  }
  return 0;
}
