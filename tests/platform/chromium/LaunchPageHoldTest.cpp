// The app host name leads to the host's held port: the launch page's connection waits
// until the host's own page has committed; afterwards every connection fails at once.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "platform/chromium/LaunchPageHold.h"
#include "platform/linux/PollEventLoop.h"

namespace tavrelle::chromium {
namespace {

int connectTo(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  return fd;
}

bool endedByPeer(int fd) {
  pollfd ready{fd, POLLIN, 0};
  if (poll(&ready, 1, 0) != 1) return false;
  char byte;
  return read(fd, &byte, 1) <= 0;
}

TEST(LaunchPageHoldTest, ConnectionsWaitUntilReleasedThenEveryOneEnds) {
  linux_platform::PollEventLoop loop;
  LaunchPageHold hold(loop);
  ASSERT_NE(hold.port(), 0);
  int launchPage = connectTo(hold.port());
  for (int turn = 0; turn < 5; ++turn) loop.runOnce(std::chrono::milliseconds(10));
  EXPECT_FALSE(endedByPeer(launchPage));  // held: neither answered nor refused

  hold.release();
  int later = connectTo(hold.port());
  auto bothEnded = [&] { return endedByPeer(launchPage) && endedByPeer(later); };
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!bothEnded() && std::chrono::steady_clock::now() < deadline) {
    loop.runOnce(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(bothEnded());
  close(launchPage);
  close(later);
}

}  // namespace
}  // namespace tavrelle::chromium
