#include "platform/chromium/LoopbackHttpMessages.h"

#include <gtest/gtest.h>

namespace tavrelle::chromium {
namespace {

constexpr const char* kOrigin = "https://tavrelle.localhost";

TEST(LoopbackBodyServerHttpMessages, FindsTheEndOfTheRequestHead) {
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\r\nHost: x\r\n"), std::nullopt);
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\r\nHost: x\r\n\r\n"), 27u);
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\r\n\r\nextra"), 18u);
  EXPECT_EQ(requestHeadLength("GET / HTTP/1.1\nHost: x\n\n"), 24u);
  EXPECT_EQ(requestHeadLength(""), std::nullopt);
}

TEST(LoopbackBodyServerHttpMessages, ParsesTheRequestLineAndPreflightHeaders) {
  auto request = parseRequestHead(
      "OPTIONS /abc HTTP/1.1\r\nHost: 127.0.0.1\r\naccess-control-request-headers:  range \r\n"
      "Access-Control-Request-Headers: x-a\r\n\r\n");
  ASSERT_TRUE(request.has_value());
  EXPECT_EQ(request->method, "OPTIONS");
  EXPECT_EQ(request->target, "/abc");
  EXPECT_EQ(request->accessControlRequestHeaders, "range, x-a");
}

TEST(LoopbackBodyServerHttpMessages, RefusesMalformedRequestHeads) {
  for (const char* head : {"", "GET\r\n\r\n", "GET /\r\n\r\n", "GET / HTTP/2\r\n\r\n",
                           "GET  / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1 x\r\n\r\n",
                           "G(T / HTTP/1.1\r\n\r\n", "GET / HTTP/1.1\r\nNoColon\r\n\r\n",
                           "GET / HTTP/1.1\r\nA: b\r\n folded\r\n\r\n",
                           "GET / HTTP/1.1\r\nBad Name: b\r\n\r\n",
                           "GET /\x01 HTTP/1.1\r\n\r\n"}) {
    EXPECT_FALSE(parseRequestHead(head).has_value()) << head;
  }
}

TEST(LoopbackBodyServerHttpMessages, BodyHeadSkipsMalformedAndDuplicateLines) {
  std::string head = bodyResponseHead(200, "OK",
                                      "Content-Length: 3\nContent-Length: 3\nnot a header\n\n"
                                      "X-Ok: yes\r\nKeep-Alive: timeout=5",
                                      3, kOrigin);
  EXPECT_EQ(head,
            "HTTP/1.1 200 OK\r\n"
            "Content-Length: 3\r\n"
            "X-Ok: yes\r\n"
            "Access-Control-Allow-Origin: https://tavrelle.localhost\r\n"
            "Access-Control-Allow-Private-Network: true\r\n"
            "Connection: close\r\n"
            "Access-Control-Allow-Credentials: true\r\n"
            "Access-Control-Expose-Headers: Content-Length, X-Ok\r\n"
            "\r\n");
}

TEST(LoopbackBodyServerHttpMessages, BodyHeadTakesNoLineBreaksFromTheReason) {
  std::string head = bodyResponseHead(200, "O\r\nX-Evil: 1\r\nK", "", 0, kOrigin);
  EXPECT_TRUE(head.starts_with("HTTP/1.1 200 OX-Evil: 1K\r\nContent-Length: 0\r\n"));
}

TEST(LoopbackBodyServerHttpMessages, BodyHeadReplacesANonNumericContentLength) {
  std::string head = bodyResponseHead(200, "OK", "Content-Length: 3x", 3, kOrigin);
  EXPECT_EQ(head.find("3x"), std::string::npos);
  EXPECT_NE(head.find("\r\nContent-Length: 3\r\n"), std::string::npos);
}

TEST(LoopbackBodyServerHttpMessages, PreflightEchoesOnlyPlainHeaderLists) {
  EXPECT_NE(preflightResponseHead(kOrigin, "range, x-custom")
                .find("\r\nAccess-Control-Allow-Headers: range, x-custom\r\n"),
            std::string::npos);
  EXPECT_EQ(preflightResponseHead(kOrigin, "range; x").find("Access-Control-Allow-Headers"),
            std::string::npos);
  EXPECT_EQ(preflightResponseHead(kOrigin, "  ").find("Access-Control-Allow-Headers"),
            std::string::npos);
}

TEST(LoopbackBodyServerHttpMessages, EmptyHeadCarriesExtraLines) {
  EXPECT_EQ(emptyResponseHead(405, "Method Not Allowed", kOrigin, "Allow: GET\r\n"),
            "HTTP/1.1 405 Method Not Allowed\r\n"
            "Allow: GET\r\n"
            "Content-Length: 0\r\n"
            "Access-Control-Allow-Origin: https://tavrelle.localhost\r\n"
            "Access-Control-Allow-Private-Network: true\r\n"
            "Connection: close\r\n"
            "\r\n");
}

}  // namespace
}  // namespace tavrelle::chromium
