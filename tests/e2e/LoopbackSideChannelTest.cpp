// The loopback side channel for large bodies under attack by another local process:
// the game's fetches still arrive whole and in time, and the attacker learns nothing.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

#include "e2e/ChromiumTestHost.h"

namespace tavrelle::e2e {
namespace {

using nlohmann::json;

// Ports listening on 127.0.0.1, as any local process can list them.
std::set<uint16_t> listeningLoopbackPorts() {
  std::set<uint16_t> ports;
  std::ifstream table("/proc/net/tcp");
  std::string line;
  std::getline(table, line);  // column names
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (state == "0A" && local.starts_with("0100007F:")) {
      ports.insert(static_cast<uint16_t>(std::stoul(local.substr(9), nullptr, 16)));
    }
  }
  return ports;
}

// Another local process: keeps many connections open that send nothing, half a head,
// or a guessed token, and reconnects whenever one is closed. Counts response bytes.
class Hammer {
 public:
  explicit Hammer(uint16_t port) : port_(port) {
    thread_ = std::thread([this] { run(); });
  }
  ~Hammer() {
    stop_ = true;
    thread_.join();
  }
  [[nodiscard]] uint64_t bytesAnswered() const { return answered_.load(); }
  [[nodiscard]] uint64_t connectionsMade() const { return connects_.load(); }

 private:
  static constexpr size_t kConnections = 150;

  int connectOne(size_t index) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port_);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ++connects_;
    usleep(1000);  // let the handshake finish before writing
    std::string bytes;
    if (index % 3 == 1) bytes = "GET /0123";
    if (index % 3 == 2) bytes = "GET /0123456789abcdef0123456789abcdef HTTP/1.1\r\n\r\n";
    if (!bytes.empty()) [[maybe_unused]]
      auto sent = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    return fd;
  }

  void run() {
    std::vector<int> fds(kConnections, -1);
    char buffer[4096];
    while (!stop_) {
      for (size_t i = 0; i < fds.size() && !stop_; ++i) {
        if (fds[i] >= 0) {
          ssize_t got = recv(fds[i], buffer, sizeof buffer, 0);
          if (got > 0) answered_ += static_cast<uint64_t>(got);
          if (got > 0 || got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            close(fds[i]);
            fds[i] = -1;
          }
        }
        if (fds[i] < 0) fds[i] = connectOne(i);
      }
      usleep(2000);
    }
    for (int fd : fds) {
      if (fd >= 0) close(fd);
    }
  }

  uint16_t port_;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> answered_{0};
  std::atomic<uint64_t> connects_{0};
  std::thread thread_;
};

// A fresh browser each: the first test sees the channel's port open with its first fetch.
class LoopbackSideChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(host_.open(error)) << error;
    std::string bytes = PatternBytes(1 << 20);
    expected_ =
        json::array({200, "https://tavrelle.localhost/big.bin", bytes.size(), ChecksumOf(bytes)});
    host_.serve("https://tavrelle.localhost/big.bin", "application/octet-stream", std::move(bytes));
  }
  ChromiumTestHost host_;
  json expected_;
};

TEST_F(LoopbackSideChannelTest, GameFetchesSucceedWhileAnotherProcessHammersTheChannel) {
  std::set<uint16_t> before = listeningLoopbackPorts();
  ASSERT_EQ(host_.evaluate(kFetchAndSum), expected_);  // starts the side channel
  std::vector<uint16_t> fresh;
  for (uint16_t port : listeningLoopbackPorts()) {
    if (!before.contains(port)) fresh.push_back(port);
  }
  ASSERT_EQ(fresh.size(), 1u);

  Hammer hammer(fresh.front());
  // Every connection taken, and taken again as the channel drops them.
  ASSERT_TRUE(host_.runUntil([&] { return hammer.connectionsMade() > 300; }));
  for (int fetch = 0; fetch < 5; ++fetch) {
    SCOPED_TRACE(fetch);
    EXPECT_EQ(host_.evaluate(kFetchAndSum), expected_);
  }
  // Guessed tokens and unfinished heads get no answer, not even "not found".
  EXPECT_EQ(hammer.bytesAnswered(), 0u);
}

TEST_F(LoopbackSideChannelTest, EveryMethodGetsTheFileLikeGet) {
  for (const char* method : {"POST", "PUT", "DELETE", "PATCH"}) {
    SCOPED_TRACE(method);
    std::string fetch = std::string(kFetchAndSum);
    fetch.replace(fetch.find("{ cache: 'no-store' }"), 21,
                  std::string("{ cache: 'no-store', method: '") + method +
                      "', body: 'level=3', headers: { 'Content-Type': 'application/json' } }");
    EXPECT_EQ(host_.evaluate(fetch), expected_);
  }
}

}  // namespace
}  // namespace tavrelle::e2e
