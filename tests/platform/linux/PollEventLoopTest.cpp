#include "platform/linux/PollEventLoop.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace tavrelle::linux_platform {
namespace {

TEST(PollEventLoop, TaskThatThrowsEndsOnlyItself) {
  PollEventLoop loop;
  int ran = 0;
  loop.post([] { throw std::runtime_error("broken task"); });
  loop.post([&] { ++ran; });
  loop.addTimer(std::chrono::milliseconds(0), false, [] { throw std::logic_error("timer"); });
  loop.addTimer(std::chrono::milliseconds(0), false, [&] { ++ran; });
  loop.post([] { throw 42; });
  EXPECT_TRUE(loop.runOnce(std::chrono::milliseconds(100)));
  EXPECT_TRUE(loop.runOnce(std::chrono::milliseconds(100)));
  EXPECT_EQ(ran, 2);
  loop.post([&] { loop.quit(3); });
  EXPECT_EQ(loop.run(), 3);
}

}  // namespace
}  // namespace tavrelle::linux_platform
