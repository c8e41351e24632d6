#include "platform/chromium/Base64.h"

#include <algorithm>
#include <vector>

#include "webview/WebViewRuntime.h"

namespace tavrelle::chromium {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// A multiple of 3, so that blocks encode without padding in between.
constexpr size_t kReadBlock = size_t{3} << 20;

void encodeInto(const unsigned char* in, size_t size, char* out) {
  size_t whole = size / 3 * 3;
  for (size_t i = 0; i < whole; i += 3) {
    uint32_t triple = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    *out++ = kAlphabet[(triple >> 18) & 63];
    *out++ = kAlphabet[(triple >> 12) & 63];
    *out++ = kAlphabet[(triple >> 6) & 63];
    *out++ = kAlphabet[triple & 63];
  }
  size_t rest = size - whole;
  if (rest == 0) return;
  uint32_t triple = uint32_t{in[whole]} << 16;
  if (rest == 2) triple |= uint32_t{in[whole + 1]} << 8;
  *out++ = kAlphabet[(triple >> 18) & 63];
  *out++ = kAlphabet[(triple >> 12) & 63];
  *out++ = rest == 2 ? kAlphabet[(triple >> 6) & 63] : '=';
  *out++ = '=';
}

}  // namespace

void appendBase64(std::span<const std::byte> bytes, std::string& out) {
  size_t start = out.size();
  out.resize(start + base64Length(bytes.size()));
  encodeInto(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
             out.data() + start);
}

bool appendBase64(const webview::ResponseBody& body, std::string& out) {
  auto contiguous = body.contiguousBytes();
  uint64_t size = body.size();
  if (contiguous.size() == size) {
    appendBase64(contiguous, out);
    return true;
  }
  out.reserve(out.size() + base64Length(size));
  std::vector<std::byte> block(static_cast<size_t>(std::min<uint64_t>(size, kReadBlock)));
  uint64_t offset = 0;
  while (offset < size) {
    size_t want = static_cast<size_t>(std::min<uint64_t>(size - offset, block.size()));
    size_t filled = 0;
    while (filled < want) {
      size_t got = body.read(offset + filled, std::span(block).subspan(filled, want - filled));
      if (got == 0) return false;
      filled += got;
    }
    appendBase64(std::span(block).first(filled), out);
    offset += filled;
  }
  return true;
}

}  // namespace tavrelle::chromium
