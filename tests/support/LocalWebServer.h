#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tavrelle::test {

// A small HTTP server on 127.0.0.1 standing for third-party content (an ad or a
// user-made level): serves fixed pages from memory, one request per connection, and
// counts the connections it accepts.
class LocalWebServer {
 public:
  LocalWebServer();
  ~LocalWebServer();
  LocalWebServer(const LocalWebServer&) = delete;
  LocalWebServer& operator=(const LocalWebServer&) = delete;

  void serve(const std::string& path, const std::string& contentType, const std::string& body);
  [[nodiscard]] uint16_t port() const { return port_; }
  [[nodiscard]] std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Connections accepted so far, whatever they sent.
  [[nodiscard]] int connectionCount();

 private:
  struct Page {
    std::string contentType;
    std::string body;
  };
  void run();
  void answer(int connection);

  int listener_ = -1;
  int stopFd_ = -1;
  uint16_t port_ = 0;
  std::mutex mutex_;
  std::map<std::string, Page> pages_;
  int connections_ = 0;
  std::thread thread_;
};

}  // namespace tavrelle::test
