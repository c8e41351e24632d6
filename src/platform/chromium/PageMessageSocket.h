#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IoEventLoop.h"
#include "platform/chromium/MessageSocketServer.h"

namespace tavrelle::chromium {

// The top document's message socket: the fast way for web messages between the page
// and the host, beside the page binding and DevTools calls, which stay the way for
// everything else and the fallback where the socket cannot open (a page whose
// Content-Security-Policy forbids it).
//
// The page script of the top document makes a random token, announces it through the
// binding (which tells the host which document speaks) and opens the socket at
// address() + token; the address holds a key of the socket's own. The host takes the socket for
// that document once both have arrived, in either order, and greets it with "hello"; from then on
// the page sends its messages through it and the host its batches. Another process does not know
// the key, and no page can announce a token but through the page script.
class PageMessageSocket {
 public:
  // A message (kind code, number, ":", text) the top document sent through the socket.
  using PageMessage = std::function<void(int64_t context, std::string& report)>;

  static constexpr std::string_view kGreeting = "hello";
  static constexpr size_t kTokenLength = 32;

  // Nothing when no loopback port could be had: the binding alone then carries messages.
  static std::unique_ptr<PageMessageSocket> start(IoEventLoop& loop, size_t largestMessage,
                                                  PageMessage onMessage);

  // "ws://127.0.0.1:<port>/<key>": the page script appends its token.
  [[nodiscard]] std::string address() const;
  // The top document with that context announced its token; a socket of an earlier
  // document is closed.
  void announce(int64_t context, std::string_view token);
  // Sends one text to the document's socket; false when that document has none.
  bool send(int64_t context, std::string_view text);

 private:
  using ConnectionId = MessageSocketServer::ConnectionId;
  struct Announcement {
    int64_t context = 0;
    std::string token;
  };

  PageMessageSocket(std::string key, PageMessage onMessage);
  bool onOpening(ConnectionId connection, std::string_view target);
  void onOpened(ConnectionId connection);
  void take(ConnectionId connection, int64_t context);
  void onMessage(ConnectionId connection, std::string& text);
  void onClosed(ConnectionId connection);

  std::unique_ptr<MessageSocketServer> server_;
  std::string key_;
  PageMessage onMessage_;
  std::optional<Announcement> announced_;
  std::map<ConnectionId, std::string> unclaimed_;  // open sockets whose token is not announced
  std::optional<ConnectionId> taken_;
  int64_t takenContext_ = 0;
};

}  // namespace tavrelle::chromium
