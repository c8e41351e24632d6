#include "platform/chromium/WebSocketProtocol.h"

#include <openssl/evp.h>

#include <array>
#include <span>
#include <utility>

#include "platform/chromium/Base64.h"

namespace tavrelle::chromium {

namespace {

constexpr std::string_view kAcceptGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";
constexpr uint8_t kContinuation = 0x0, kText = 0x1, kClose = 0x8, kPing = 0x9, kPong = 0xA;
constexpr size_t kLargestControlPayload = 125;

std::string acceptValue(std::string_view clientKey) {
  std::string keyed = std::string(clientKey) + std::string(kAcceptGuid);
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  EVP_Digest(keyed.data(), keyed.size(), digest.data(), &length, EVP_sha1(), nullptr);
  std::string value;
  appendBase64(std::as_bytes(std::span(digest.data(), length)), value);
  return value;
}

void appendFrameHead(uint8_t opcode, uint64_t length, std::string& out) {
  out += static_cast<char>(0x80 | opcode);
  if (length < 126) {
    out += static_cast<char>(length);
  } else if (length <= 0xFFFF) {
    out += static_cast<char>(126);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(length & 0xFF);
  } else {
    out += static_cast<char>(127);
    for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>((length >> shift) & 0xFF);
  }
}

}  // namespace

std::string webSocketHandshakeAnswer(std::string_view clientKey) {
  return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Accept: " +
         acceptValue(clientKey) + "\r\n\r\n";
}

void appendTextFrame(std::string_view text, std::string& out) {
  appendFrameHead(kText, text.size(), out);
  out.append(text);
}

void appendCloseFrame(std::string& out) {
  appendFrameHead(kClose, 2, out);
  out += static_cast<char>(0x03);  // 1000, normal closure
  out += static_cast<char>(0xE8);
}

void appendPongFrame(std::string_view payload, std::string& out) {
  appendFrameHead(kPong, payload.size(), out);
  out.append(payload);
}

std::optional<WebSocketReader::Head> WebSocketReader::readHead() {
  std::string_view bytes = std::string_view(received_).substr(consumed_);
  if (bytes.size() < 2) return std::nullopt;
  Head head;
  auto first = static_cast<uint8_t>(bytes[0]);
  auto second = static_cast<uint8_t>(bytes[1]);
  head.final = (first & 0x80) != 0;
  head.opcode = first & 0x0F;
  bool masked = (second & 0x80) != 0;
  head.length = second & 0x7F;
  size_t extended = head.length == 126 ? 2 : head.length == 127 ? 8 : 0;
  head.headLength = 2 + extended + 4;
  if ((first & 0x70) != 0 || !masked) {  // no extensions were agreed; clients always mask
    failed_ = true;
    return std::nullopt;
  }
  if (bytes.size() < head.headLength) return std::nullopt;
  if (extended > 0) {
    head.length = 0;
    for (size_t i = 0; i < extended; ++i)
      head.length = (head.length << 8) | static_cast<uint8_t>(bytes[2 + i]);
  }
  for (size_t i = 0; i < 4; ++i) head.mask[i] = static_cast<uint8_t>(bytes[2 + extended + i]);
  return head;
}

std::optional<WebSocketReader::Frame> WebSocketReader::fail() {
  failed_ = true;
  received_.clear();
  message_.clear();
  return std::nullopt;
}

std::optional<WebSocketReader::Frame> WebSocketReader::next() {
  while (!failed_) {
    auto head = readHead();
    if (failed_) return fail();
    if (!head) break;
    bool control = (head->opcode & 0x8) != 0;
    if (control ? (head->length > kLargestControlPayload || !head->final)
                : (head->length > largestMessage_ - message_.size() ||
                   (head->opcode == kContinuation) != inMessage_ ||
                   (head->opcode != kText && head->opcode != kContinuation))) {
      return fail();
    }
    if (received_.size() - consumed_ < head->headLength + head->length) break;
    std::string payload = received_.substr(consumed_ + head->headLength, head->length);
    for (size_t i = 0; i < payload.size(); ++i)
      payload[i] = static_cast<char>(static_cast<uint8_t>(payload[i]) ^ head->mask[i % 4]);
    consumed_ += head->headLength + head->length;
    if (consumed_ == received_.size()) {
      received_.clear();
      consumed_ = 0;
    }
    switch (head->opcode) {
      case kPing:
        return Frame{Frame::Kind::Ping, std::move(payload)};
      case kClose:
        return Frame{Frame::Kind::Close, std::move(payload)};
      case kPong:
        continue;
      case kText:
      case kContinuation:
        message_ += payload;
        inMessage_ = !head->final;
        if (inMessage_) continue;
        return Frame{Frame::Kind::Text, std::exchange(message_, {})};
      default:
        return fail();
    }
  }
  if (consumed_ > 0 && consumed_ * 2 > received_.size()) {
    received_.erase(0, consumed_);
    consumed_ = 0;
  }
  return std::nullopt;
}

}  // namespace tavrelle::chromium
