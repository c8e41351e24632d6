#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tavrelle::chromium {

// Cuts the browser's reply stream into messages. Each message on the DevTools pipe
// is one JSON text ended by a NUL byte; reads split and merge messages arbitrarily,
// so the unfinished tail of one read is kept for the next.
class NulFrameSplitter {
 public:
  using MessageSink = std::function<void(std::string&& message)>;

  // Hands every message completed by `bytes` to onMessage, in order.
  void feed(std::string_view bytes, const MessageSink& onMessage);

  // Bytes received after the last complete message.
  [[nodiscard]] size_t pendingBytes() const { return partial_.size(); }

 private:
  std::string partial_;
};

}  // namespace tavrelle::chromium
