#include "content/PercentDecoding.h"

#include <cstdint>

namespace tavrelle {
namespace {

constexpr std::string_view kReplacementCharacter = "\xEF\xBF\xBD";

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

std::string DecodeEscapes(std::string_view encoded) {
  std::string bytes;
  bytes.reserve(encoded.size());
  for (size_t index = 0; index < encoded.size(); ++index) {
    if (encoded[index] == '%' && index + 2 < encoded.size() &&
        HexDigitValue(encoded[index + 1]) >= 0 && HexDigitValue(encoded[index + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexDigitValue(encoded[index + 1]) * 16 +
                                        HexDigitValue(encoded[index + 2])));
      index += 2;
    } else {
      bytes.push_back(encoded[index]);
    }
  }
  return bytes;
}

// Length of the well-formed UTF-8 sequence at text[index], or 0 when it is malformed
// (overlong forms, surrogates and values above U+10FFFF included).
size_t WellFormedSequenceLength(std::string_view text, size_t index) {
  const auto byteAt = [&](size_t at) { return static_cast<uint8_t>(text[at]); };
  const uint8_t lead = byteAt(index);
  if (lead < 0x80) {
    return 1;
  }
  size_t length = 0;
  uint8_t low = 0x80;
  uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (index + length > text.size()) {
    return 0;
  }
  if (byteAt(index + 1) < low || byteAt(index + 1) > high) {
    return 0;
  }
  for (size_t next = 2; next < length; ++next) {
    if (byteAt(index + next) < 0x80 || byteAt(index + next) > 0xBF) {
      return 0;
    }
  }
  return length;
}

}  // namespace

std::optional<std::string> PercentDecodeUtf8(std::string_view encoded, size_t maxUtf16Units) {
  const std::string bytes = DecodeEscapes(encoded);
  std::string text;
  text.reserve(bytes.size());
  size_t utf16Units = 1;  // the terminator
  for (size_t index = 0; index < bytes.size();) {
    const size_t length = WellFormedSequenceLength(bytes, index);
    if (length == 0) {
      text += kReplacementCharacter;
      utf16Units += 1;
      index += 1;
    } else {
      text.append(bytes, index, length);
      utf16Units += length == 4 ? 2 : 1;
      index += length;
    }
    if (utf16Units > maxUtf16Units) {
      return std::nullopt;
    }
  }
  if (utf16Units > maxUtf16Units) {
    return std::nullopt;
  }
  return text;
}

}  // namespace tavrelle
