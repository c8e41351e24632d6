#pragma once

// The small slice of HTTP/1.1 the loopback body server speaks: reading one request
// head, and composing the heads of its answers. A connection is kept for the next
// request unless the answer says "Connection: close".

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
  std::string accessControlRequestMethod;   // empty when absent
  bool isPreflight = false;                 // an OPTIONS carrying Access-Control-Request-Method
  bool hasBody = false;                     // a Content-Length above 0, or any Transfer-Encoding
  bool wantsClose = false;                  // "Connection: close", or HTTP/1.0 without keep-alive
  bool upgradesToWebSocket = false;         // "Upgrade: websocket"
  std::string webSocketKey;                 // Sec-WebSocket-Key; empty when absent
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
                                           std::string_view allowedOrigin, bool keepAlive = false);

// 204 answer to a cross-origin preflight. requestedHeaders is echoed when it is a
// plain comma-separated list of header names, requestedMethod when it is a method name:
// every method is answered like GET.
[[nodiscard]] std::string preflightResponseHead(std::string_view allowedOrigin,
                                                std::string_view requestedHeaders,
                                                std::string_view requestedMethod = {},
                                                bool keepAlive = false);

// An answer without a body (404, 400, 405, 431...). extraLines: header lines, each
// ended by "\r\n".
[[nodiscard]] std::string emptyResponseHead(int status, std::string_view reason,
                                            std::string_view allowedOrigin,
                                            std::string_view extraLines = {});

}  // namespace tavrelle::chromium
