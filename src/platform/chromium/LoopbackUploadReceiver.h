#pragma once

// Receives request bodies that the page sends to the host: the page POSTs the bytes
// to a one-time loopback address, and they go straight to the sink offered for it,
// on this receiver's thread. Used for writes of the page's file handles, whose bytes
// must not travel through the browser pipe.
//
// Nobody but the page may write: the receiver listens on 127.0.0.1 only, every
// address carries a 128-bit random token, is taken once and then forgotten, and
// offers nobody used expire. Each connection is received on a thread of its own, up
// to a bound, and within a time limit: a slow or idle client holds up no other upload.

#include <atomic>
#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "webview/WebViewRuntime.h"

namespace tavrelle::chromium {

class LoopbackUploadReceiver {
 public:
  // Binds 127.0.0.1 on a free port and starts receiving on its own thread; nullptr if
  // it cannot.
  static std::unique_ptr<LoopbackUploadReceiver> start();

  LoopbackUploadReceiver(const LoopbackUploadReceiver&) = delete;
  LoopbackUploadReceiver& operator=(const LoopbackUploadReceiver&) = delete;
  ~LoopbackUploadReceiver();  // stops the thread, closes every socket

  // Registers a sink for one request; returns its URL "http://127.0.0.1:<port>/<token>",
  // or an empty string once stopped.
  std::string offer(std::shared_ptr<webview::RequestBodySink> sink);

  [[nodiscard]] uint16_t port() const { return port_; }

 private:
  using Clock = std::chrono::steady_clock;
  struct Offer {
    std::string token;
    std::shared_ptr<webview::RequestBodySink> sink;
    Clock::time_point expiresAt;
  };

  // One connection being received; its descriptor is closed under connectionsMutex_.
  struct Connection {
    int fd = -1;
    std::atomic<bool> finished{false};
    std::thread thread;
  };

  LoopbackUploadReceiver(int listenFd, int wakeFd, uint16_t port);
  void serve();
  void startConnection(int fd);
  void serveConnection(Connection& connection);
  // Joins the threads of finished connections; returns how many are still open.
  size_t joinFinishedConnections();
  void receive(int fd);
  void finish(int fd);
  std::shared_ptr<webview::RequestBodySink> takeOffer(const std::string& target);

  const int listenFd_;
  const int wakeFd_;
  const uint16_t port_;
  std::mutex offersMutex_;
  std::vector<Offer> offers_;  // guarded by offersMutex_
  std::atomic<bool> stopping_{false};
  std::mutex connectionsMutex_;
  std::list<std::unique_ptr<Connection>> connections_;  // guarded by connectionsMutex_
  std::thread thread_;
};

}  // namespace tavrelle::chromium
