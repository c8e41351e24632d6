#pragma once

// The slice of the WebSocket protocol the message socket speaks, as its server: the
// answer to the opening handshake, text frames out, and the client's frames in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrelle::chromium {

// The 101 answer that accepts a client's handshake with its Sec-WebSocket-Key.
[[nodiscard]] std::string webSocketHandshakeAnswer(std::string_view clientKey);

// Appends one unfragmented, unmasked text frame that holds `text`.
void appendTextFrame(std::string_view text, std::string& out);
// Appends a close frame (normal closure).
void appendCloseFrame(std::string& out);
// Appends the pong that answers a ping with that payload.
void appendPongFrame(std::string_view payload, std::string& out);

// Reads the frames a client sends (masked, as every client must) from a stream of
// bytes, joining fragments into whole messages.
class WebSocketReader {
 public:
  struct Frame {
    enum class Kind { Text, Ping, Close } kind;
    std::string payload;
  };

  // largestMessage: a longer text message is a failure, found before it is buffered.
  explicit WebSocketReader(size_t largestMessage) : largestMessage_(largestMessage) {}

  void append(std::string_view bytes) { received_.append(bytes); }
  // The next whole message or control frame; nothing while more bytes are needed or
  // once the stream failed. Pongs are skipped.
  std::optional<Frame> next();
  // The client broke the protocol (unmasked or binary frames, a message too long, a
  // malformed control frame); nothing more is read.
  [[nodiscard]] bool failed() const { return failed_; }

 private:
  struct Head {
    bool final = false;
    uint8_t opcode = 0;
    uint64_t length = 0;
    size_t headLength = 0;
    uint8_t mask[4] = {};
  };
  std::optional<Head> readHead();
  std::optional<Frame> fail();

  size_t largestMessage_;
  std::string received_;
  size_t consumed_ = 0;
  std::string message_;
  bool inMessage_ = false;
  bool failed_ = false;
};

}  // namespace tavrelle::chromium
