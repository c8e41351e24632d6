#pragma once

// The small slice of HTTP/1.1 the loopback body server speaks: reading one request
// head, and composing the heads of its answers. Every answer closes the connection.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrelle::chromium {

struct LoopbackRequestHead {
  std::string method;
  std::string target;  // as sent: "/<token>" for the requests the server expects
  std::string accessControlRequestHeaders;  // empty when absent
};

// The length of the request head at the start of `received`, blank line included;
// nothing while the blank line has not arrived.
[[nodiscard]] std::optional<size_t> requestHeadLength(std::string_view received);

// Nothing when the head is not a well-formed HTTP/1.x request head.
[[nodiscard]] std::optional<LoopbackRequestHead> parseRequestHead(std::string_view head);

// The head of a response carrying a body of bodySize bytes. headerBlock holds the
// host's header lines joined with "\n"; a Content-Length line in it is kept only when
// it names bodySize, and the lines the server owns (connection handling and the
// cross-origin grants) are replaced by its own.
[[nodiscard]] std::string bodyResponseHead(int status, std::string_view reason,
                                           std::string_view headerBlock, uint64_t bodySize,
                                           std::string_view allowedOrigin);

// 204 answer to a cross-origin preflight. requestedHeaders is echoed when it is a
// plain comma-separated list of header names.
[[nodiscard]] std::string preflightResponseHead(std::string_view allowedOrigin,
                                                std::string_view requestedHeaders);

// An answer without a body (404, 400, 405, 431...). extraLines: header lines, each
// ended by "\r\n".
[[nodiscard]] std::string emptyResponseHead(int status, std::string_view reason,
                                            std::string_view allowedOrigin,
                                            std::string_view extraLines = {});

}  // namespace tavrelle::chromium
