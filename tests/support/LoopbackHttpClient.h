#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrelle::test {

// One blocking HTTP/1.1 connection to a local port. Reads give up after a generous
// timeout so that a broken server fails a test instead of hanging it.
class LoopbackHttpClient {
 public:
  // Throws std::system_error when the connection is refused.
  explicit LoopbackHttpClient(uint16_t port, const std::string& address = "127.0.0.1");
  LoopbackHttpClient(const LoopbackHttpClient&) = delete;
  LoopbackHttpClient& operator=(const LoopbackHttpClient&) = delete;
  ~LoopbackHttpClient();

  void send(std::string_view bytes);
  // "<method> <target> HTTP/1.1", a Host line, extraHeaderLines (each ended by "\r\n"),
  // and "Connection: close" unless the connection is to be kept.
  void sendRequest(std::string_view method, std::string_view target,
                   std::string_view extraHeaderLines = {}, bool keepConnection = false);
  // The response head with its blank line; empty when the connection ended first.
  std::string readHead();
  // `length` body bytes (for a response on a kept connection), or all until the server
  // closes; fewer when the connection ends first.
  std::string readBodyText(size_t length = SIZE_MAX);
  // True when the server ended the connection without sending more.
  bool waitForClose() { return !receiveMore(); }
  // Closes with a reset, as a browser tab that goes away mid-download does.
  void abort();

 private:
  // Appends the next bytes received to pending_; false when the connection has ended.
  bool receiveMore();

  int fd_ = -1;
  std::string pending_;  // bytes received and not yet handed out
};

// The status code of a response head; 0 when there is none.
int statusOf(std::string_view head);

struct LoopbackHttpResponse {
  int status = 0;
  std::string head;
  std::string body;
  // The first value of a header, names compared without regard to case.
  [[nodiscard]] std::optional<std::string> header(std::string_view name) const;
};

// One request (with `body`, if any) on a fresh connection, the whole response collected.
LoopbackHttpResponse fetchLoopback(uint16_t port, std::string_view method, std::string_view target,
                                   std::string_view extraHeaderLines = {},
                                   std::string_view body = {});

// "/<token>" of "http://127.0.0.1:<port>/<token>".
std::string pathOfUrl(const std::string& url);

}  // namespace tavrelle::test
