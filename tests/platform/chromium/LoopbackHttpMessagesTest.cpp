#include "platform/chromium/LoopbackHttpMessages.h"

#include <gtest/gtest.h>

namespace tavrelle::chromium {
namespace {

constexpr const char* kOrigin = "https://tavrelle.localhost";
constexpr const char* kGrants =
    "Access-Control-Allow-Origin: https://tavrelle.localhost\r\n"
    "Access-Control-Allow-Private-Network: true\r\n"
    "Connection: close\r\n";

TEST(LoopbackHttpMessages, FindsTheEndOfTheRequestHead) {
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\r\n\r\nextra"), 18u);
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\nHost: x\n\n"), 24u);
}

TEST(LoopbackHttpMessages, ParsesTheRequestLineAndPreflightHeaders) {
  auto request = parseRequestHead(
      "OPTIONS /abc HTTP/1.1\r\nHost: 127.0.0.1\r\naccess-control-request-headers:  range \r\n"
      "Access-Control-Request-Headers: x-a\r\n\r\n");
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->method, "OPTIONS");
  EXPECT_EQ(request->target, "/abc");
  EXPECT_EQ(request->accessControlRequestHeaders, "range, x-a");
}

TEST(LoopbackHttpMessages, RefusesMalformedRequestHeads) {
  for (const char* head : {"GET /\r\n\r\n", "GET / HTTP/2\r\n\r\n", "GET  / HTTP/1.1\r\n\r\n",
                           "GET / HTTP/1.1 x\r\n\r\n", "G(T / HTTP/1.1\r\n\r\n",
                           "GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n",
                           "GET / HTTP/1.1\r\nBad Name: b\r\n\r\n", "GET /\x01 HTTP/1.1\r\n\r\n"}) {
    EXPECT_FALSE(parseRequestHead(head).has_value()) << head;
  }
}

TEST(LoopbackHttpMessages, BodyHeadRewritesTheHostsHeaderBlock) {
  struct Case {
    const char* block;
    uint64_t size;
    std::string expectedLines;  // between the status line and the grants
    std::string exposed;        // the host's own lines; none: no Expose-Headers line
  };
  const std::vector<Case> cases = {
      // Malformed and duplicate lines are skipped.
      {"Content-Length: 3\nContent-Length: 3\nnot a header\n\nX-Ok: yes\r\nKeep-Alive: timeout=5",
       3, "Content-Length: 3\r\nX-Ok: yes\r\n", "Content-Length, X-Ok"},
      // A wrong or non-numeric length becomes the body's.
      {"Content-Length: 99\nContent-Type: text/plain", 5,
       "Content-Type: text/plain\r\nContent-Length: 5\r\n", "Content-Type"},
      {"Content-Length: 3x", 3, "Content-Length: 3\r\n", ""},
      // The lines the server owns are replaced by its own.
      {"Connection: keep-alive\nAccess-Control-Allow-Origin: *\nTransfer-Encoding: chunked\nX-A: 1",
       3, "X-A: 1\r\nContent-Length: 3\r\n", "X-A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.block);
    EXPECT_EQ(
        bodyResponseHead(200, "OK", c.block, c.size, kOrigin),
        "HTTP/1.1 200 OK\r\n" + c.expectedLines + kGrants +
            "Access-Control-Allow-Credentials: true\r\n" +
            (c.exposed.empty() ? "" : "Access-Control-Expose-Headers: " + c.exposed + "\r\n") +
            "\r\n");
  }
}

TEST(LoopbackHttpMessages, BodyHeadTakesNoLineBreaksFromTheReason) {
  std::string head = bodyResponseHead(200, "O\r\nX-Evil: 1\r\nK", "", 0, kOrigin);
  EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OX-Evil: 1K\r\nContent-Length: 0\r\n"));
}

TEST(LoopbackHttpMessages, PreflightEchoesOnlyPlainHeaderLists) {
  // The echo of a plain list is LoopbackBodyServerTest's.
  for (const char* requested : {"range; x", "  "}) {
    EXPECT_EQ(preflightResponseHead(kOrigin, requested).find("Access-Control-Allow-Headers"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace tavrelle::chromium
