#include "app/StringHelpers.h"

#include <cstdint>
#include <optional>

namespace tavrelle {

namespace {

constexpr char32_t kMaxCodePoint = 0x10FFFF;
constexpr std::u16string_view kExtendedPrefix = u"\\\\?\\";

bool IsSurrogate(char32_t codePoint) { return codePoint >= 0xD800 && codePoint <= 0xDFFF; }
bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// What the lead byte of a UTF-8 sequence announces.
struct SequenceShape {
  size_t length;          // bytes in the sequence, 0 for a byte that cannot lead one
  char32_t leadBits;      // the code point bits carried by the lead byte
  char32_t smallestCode;  // anything below is an overlong encoding
};

SequenceShape ShapeOf(unsigned char lead) {
  if (lead < 0x80) {
    return {1, lead, 0};
  }
  if ((lead & 0xE0) == 0xC0) {
    return {2, lead & 0x1Fu, 0x80};
  }
  if ((lead & 0xF0) == 0xE0) {
    return {3, lead & 0x0Fu, 0x800};
  }
  if ((lead & 0xF8) == 0xF0) {
    return {4, lead & 0x07u, 0x10000};
  }
  return {0, 0, 0};
}

// Decodes one code point starting at `index` and advances it; nothing for an
// ill-formed sequence (truncated, overlong, surrogate or beyond U+10FFFF).
std::optional<char32_t> DecodeUtf8(const std::string& text, size_t& index) {
  const SequenceShape shape = ShapeOf(static_cast<unsigned char>(text[index]));
  if (shape.length == 0 || text.size() - index < shape.length) {
    return std::nullopt;
  }
  char32_t codePoint = shape.leadBits;
  for (size_t i = 1; i < shape.length; ++i) {
    const auto byte = static_cast<unsigned char>(text[index + i]);
    if (!IsContinuationByte(byte)) {
      return std::nullopt;
    }
    codePoint = (codePoint << 6) | (byte & 0x3Fu);
  }
  if (codePoint < shape.smallestCode || codePoint > kMaxCodePoint || IsSurrogate(codePoint)) {
    return std::nullopt;
  }
  index += shape.length;
  return codePoint;
}

// Decodes one code point starting at `index` and advances it; nothing for an
// unpaired surrogate.
std::optional<char32_t> DecodeUtf16(const std::u16string& text, size_t& index) {
  const char16_t unit = text[index];
  if (!IsSurrogate(unit)) {
    ++index;
    return unit;
  }
  const bool isHigh = unit < 0xDC00;
  if (!isHigh || index + 1 >= text.size()) {
    return std::nullopt;
  }
  const char16_t low = text[index + 1];
  if (low < 0xDC00 || low > 0xDFFF) {
    return std::nullopt;
  }
  index += 2;
  return 0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) | (low - 0xDC00));
}

void AppendUtf16(char32_t codePoint, std::u16string& out) {
  if (codePoint < 0x10000) {
    out.push_back(static_cast<char16_t>(codePoint));
    return;
  }
  const char32_t offset = codePoint - 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
}

void AppendUtf8(char32_t codePoint, std::string& out) {
  const auto put = [&out](char32_t bits) { out.push_back(static_cast<char>(bits)); };
  if (codePoint < 0x80) {
    put(codePoint);
  } else if (codePoint < 0x800) {
    put(0xC0 | (codePoint >> 6));
    put(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    put(0xE0 | (codePoint >> 12));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  } else {
    put(0xF0 | (codePoint >> 18));
    put(0x80 | ((codePoint >> 12) & 0x3F));
    put(0x80 | ((codePoint >> 6) & 0x3F));
    put(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToWide(const std::string& utf8) {
  std::u16string wide;
  wide.reserve(utf8.size());
  for (size_t index = 0; index < utf8.size();) {
    const std::optional<char32_t> codePoint = DecodeUtf8(utf8, index);
    if (!codePoint) {
      return {};
    }
    AppendUtf16(*codePoint, wide);
  }
  return wide;
}

std::string WideToUtf8(const std::u16string& wide) {
  std::string utf8;
  utf8.reserve(wide.size());
  for (size_t index = 0; index < wide.size();) {
    const std::optional<char32_t> codePoint = DecodeUtf16(wide, index);
    if (!codePoint) {
      return {};
    }
    AppendUtf8(*codePoint, utf8);
  }
  return utf8;
}

std::u16string ToExtendedPath(const std::u16string& path) {
  std::u16string extended;
  extended.reserve(path.size() + kExtendedPrefix.size());
  if (path.size() >= kExtendedPrefix.size() && !path.starts_with(kExtendedPrefix)) {
    extended = kExtendedPrefix;
  }
  for (const char16_t unit : path) {
    extended.push_back(unit == u'/' ? u'\\' : unit);
  }
  return extended;
}

std::u16string StripExtendedPrefix(const std::u16string& path) {
  if (path.starts_with(kExtendedPrefix)) {
    return path.substr(kExtendedPrefix.size());
  }
  return path;
}

}  // namespace tavrelle
