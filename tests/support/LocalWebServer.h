#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace tavrelle::test {

// A small HTTP server on 127.0.0.1 standing for third-party content (an ad or a
// user-made level): answers every request on a connection of its own with one HTML
// page, and counts the connections it accepts.
class LocalWebServer {
 public:
  explicit LocalWebServer(std::string page = {});
  ~LocalWebServer();
  LocalWebServer(const LocalWebServer&) = delete;
  LocalWebServer& operator=(const LocalWebServer&) = delete;

  [[nodiscard]] uint16_t port() const { return port_; }
  [[nodiscard]] std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Connections accepted so far, whatever they sent.
  [[nodiscard]] int connectionCount() const { return connections_; }

 private:
  void run();
  void answer(int connection) const;

  std::string page_;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<int> connections_ = 0;
  std::thread thread_;
};

}  // namespace tavrelle::test
