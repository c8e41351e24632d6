#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tavrelle::webview {
class ResponseBody;
}

namespace tavrelle::chromium {

// Length of the base64 text (with padding) of `size` bytes.
constexpr uint64_t base64Length(uint64_t size) { return (size + 2) / 3 * 4; }

// Appends the base64 text (standard alphabet, padded) of bytes to out.
void appendBase64(std::span<const std::byte> bytes, std::string& out);

// Appends the base64 text of a whole response body, read in blocks when it is not
// one block of memory. False when the body ended early or could not be read.
bool appendBase64(const webview::ResponseBody& body, std::string& out);

}  // namespace tavrelle::chromium
