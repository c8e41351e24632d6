#include "platform/chromium/NulFrameSplitter.h"

namespace tavrelle::chromium {

void NulFrameSplitter::feed(std::string_view bytes, const MessageSink& onMessage,
                            const OversizedSink& onOversized) {
  while (!bytes.empty()) {
    size_t end = bytes.find('\0');
    std::string_view piece = bytes.substr(0, end);
    if (!skipping_ && partial_.size() + piece.size() > largestMessage_) startSkipping();
    if (skipping_) {
      if (skippedStart_.size() < kKeptStartOfOversized) {
        skippedStart_.append(piece.substr(0, kKeptStartOfOversized - skippedStart_.size()));
      }
      skippedLength_ += piece.size();
      if (end == std::string_view::npos) return;
      skipping_ = false;
      bytes.remove_prefix(end + 1);
      std::string start = std::move(skippedStart_);
      skippedStart_.clear();
      if (onOversized) onOversized(start, skippedLength_);
      continue;
    }
    if (end == std::string_view::npos) {
      partial_.append(piece);
      return;
    }
    std::string message;
    if (partial_.empty()) {
      message.assign(piece);
    } else {
      partial_.append(piece);
      message.swap(partial_);
    }
    bytes.remove_prefix(end + 1);
    onMessage(std::move(message));
  }
}

// The bytes held so far begin a message that is too long; the caller counts the piece
// that made it so, and every later one, as skipped.
void NulFrameSplitter::startSkipping() {
  skipping_ = true;
  skippedStart_ = partial_.substr(0, kKeptStartOfOversized);
  skippedLength_ = partial_.size();
  std::string().swap(partial_);
}

}  // namespace tavrelle::chromium
