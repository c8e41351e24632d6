#pragma once

// A side channel for large response bodies. Answering an intercepted request inline
// copies the body through the browser pipe as base64, which is slow and capped in size;
// instead the host offers the finished response here and continues the request to the
// offer's loopback URL, so the browser reads the bytes straight off a local socket.
//
// Nobody but the browser may read what is offered: the server listens on 127.0.0.1
// only, every offer's URL carries a 128-bit random token, is answered once and then
// forgotten, and offers nobody fetched expire. A request naming no waiting offer gets
// no answer at all: its connection is closed.
//
// Nobody else may starve the browser either: a connection must send its request head
// soon after connecting, and when every connection is taken the one that has waited
// longest for its head is dropped for the newcomer. The browser keeps connections
// that were answered and sends its next requests on them.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "webview/WebViewRuntime.h"

namespace tavrelle::chromium {

struct LoopbackBodyServerOptions {
  using Clock = std::chrono::steady_clock;

  // An offer not fetched within this time is dropped and its body released.
  std::chrono::milliseconds offerLifetime{30'000};
  // A client must have sent its whole request head within this time of connecting (the
  // browser sends it at once) or of sending the first byte of its next one.
  std::chrono::milliseconds requestTimeout{3'000};
  // An answered connection kept for the next request is closed after this idle time.
  std::chrono::milliseconds keepAliveTimeout{15'000};
  // A client that takes none of the response for this long is dropped. Generous: the
  // browser stops reading a media stream while its buffer is full.
  std::chrono::milliseconds stallTimeout{120'000};
  size_t maxConnections = 64;
  // Offers waiting to be fetched; offer() refuses more (the caller answers otherwise).
  size_t maxPendingOffers = 1024;
  // The time source for all of the above; the steady clock when empty. Called from the
  // serving thread and from offer().
  std::function<Clock::time_point()> clock;
};

class LoopbackBodyServer {
 public:
  // Binds 127.0.0.1 on a free port and starts serving on its own thread; nullptr if it
  // cannot. allowedOrigin: the page's origin, e.g. "https://tavrelle.localhost".
  static std::unique_ptr<LoopbackBodyServer> start(std::string allowedOrigin);
  static std::unique_ptr<LoopbackBodyServer> start(std::string allowedOrigin,
                                                   LoopbackBodyServerOptions options);

  LoopbackBodyServer(const LoopbackBodyServer&) = delete;
  LoopbackBodyServer& operator=(const LoopbackBodyServer&) = delete;
  ~LoopbackBodyServer();  // stops the thread, closes every socket

  // Registers one response to be served exactly once; returns its URL
  // "http://127.0.0.1:<port>/<token>", or an empty string once stopped or while
  // maxPendingOffers wait. headerBlock: header lines joined with "\n". body may be null
  // (no body); it is read only once the offer is taken.
  // Any request uses the offer up and is answered like a GET (a HEAD without the body),
  // except a cross-origin preflight. The request's Range header is ignored: the
  // response is served as offered.
  std::string offer(int status, const std::string& reason, const std::string& headerBlock,
                    std::shared_ptr<const webview::ResponseBody> body);

  // Ends serving: connections are cut, pending offers released. Idempotent; call it
  // from the owning thread.
  void stop();

  [[nodiscard]] uint16_t port() const { return port_; }
  // For tests.
  [[nodiscard]] size_t pendingOffers() const;
  [[nodiscard]] size_t openConnections() const { return openConnections_.load(); }

 private:
  using Clock = LoopbackBodyServerOptions::Clock;
  struct Offer;
  struct Connection;

  LoopbackBodyServer(std::string allowedOrigin, LoopbackBodyServerOptions options, int listenFd,
                     int wakeFd, uint16_t port);

  [[nodiscard]] Clock::time_point now() const;
  void serve();
  void serviceConnection(Connection& connection, short revents);
  void acceptClients();
  bool dropOldestWaitingForHead();
  void waitForRequest(Connection& connection);
  void receiveRequest(Connection& connection);
  void answerRequest(Connection& connection, std::string_view head);
  void startBodyResponse(Connection& connection, Offer offer, bool withBody, bool keepAlive);
  void startResponse(Connection& connection, std::string head, bool keepAlive = false);
  void sendResponse(Connection& connection);
  void finishResponse(Connection& connection);
  void drain(Connection& connection);
  void closeConnection(Connection& connection);
  void dropOverdueConnections();
  void removeClosedConnections();
  [[nodiscard]] int pollTimeoutMs() const;
  bool takeOffer(std::string_view target, Offer& taken);
  void dropExpiredOffers();

  const std::string allowedOrigin_;
  const LoopbackBodyServerOptions options_;
  const int listenFd_;
  const int wakeFd_;
  const uint16_t port_;

  mutable std::mutex offersMutex_;
  std::vector<Offer> offers_;  // guarded by offersMutex_

  // Touched only by the serving thread.
  std::vector<std::unique_ptr<Connection>> connections_;
  bool acceptPaused_ = false;

  std::atomic<bool> stopping_{false};
  std::atomic<size_t> openConnections_{0};
  std::thread thread_;
};

}  // namespace tavrelle::chromium
