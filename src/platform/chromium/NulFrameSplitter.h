#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <string_view>

namespace tavrelle::chromium {

// Cuts the browser's reply stream into messages. Each message on the DevTools pipe
// is one JSON text ended by a NUL byte; reads split and merge messages arbitrarily,
// so the unfinished tail of one read is kept for the next.
//
// A message longer than the ceiling is never held whole: its bytes are skipped up to
// its NUL, and only its start is reported, so that its sender can be told.
class NulFrameSplitter {
 public:
  using MessageSink = std::function<void(std::string&& message)>;
  // The first bytes of a skipped message (up to kKeptStartOfOversized) and its length.
  using OversizedSink = std::function<void(std::string_view start, size_t length)>;

  static constexpr size_t kKeptStartOfOversized = 256;

  explicit NulFrameSplitter(size_t largestMessage = std::numeric_limits<size_t>::max())
      : largestMessage_(largestMessage) {}

  // Hands every message completed by `bytes` to onMessage, in order; every oversized
  // one to onOversized once its end has arrived.
  void feed(std::string_view bytes, const MessageSink& onMessage,
            const OversizedSink& onOversized = {});

  // Bytes received after the last complete message and held.
  [[nodiscard]] size_t pendingBytes() const { return partial_.size(); }

 private:
  void startSkipping();

  size_t largestMessage_;
  std::string partial_;
  bool skipping_ = false;
  std::string skippedStart_;
  size_t skippedLength_ = 0;
};

}  // namespace tavrelle::chromium
