#include "platform/chromium/NulFrameSplitter.h"

namespace tavrelle::chromium {

void NulFrameSplitter::feed(std::string_view bytes, const MessageSink& onMessage) {
  while (!bytes.empty()) {
    size_t end = bytes.find('\0');
    if (end == std::string_view::npos) {
      partial_.append(bytes);
      return;
    }
    std::string message;
    if (partial_.empty()) {
      message.assign(bytes.substr(0, end));
    } else {
      partial_.append(bytes.substr(0, end));
      message.swap(partial_);
    }
    bytes.remove_prefix(end + 1);
    onMessage(std::move(message));
  }
}

}  // namespace tavrelle::chromium
