#include "platform/chromium/PreparationLatch.h"

#include <gtest/gtest.h>

#include <chrono>

#include "platform/linux/PollEventLoop.h"

namespace tavrelle::chromium {
namespace {

using namespace std::chrono_literals;

class PreparationLatchTest : public ::testing::Test {
 protected:
  std::unique_ptr<PreparationLatch> latch(std::chrono::milliseconds deadline = 60s) {
    return std::make_unique<PreparationLatch>(
        loop_, deadline, "late", [this](const std::string& error) { failures_.push_back(error); });
  }

  linux_platform::PollEventLoop loop_;
  std::vector<std::string> failures_;
};

TEST_F(PreparationLatchTest, WaitersRunOnceEveryStepSucceededAndLaterOnesAtOnce) {
  auto preparation = latch();
  auto first = preparation->expect();
  auto second = preparation->expect();
  int ran = 0;
  preparation->whenDone([&] { ++ran; });
  first(std::nullopt);
  first(std::nullopt);  // a step counts once, however often it reports
  EXPECT_EQ(ran, 0);
  second(std::nullopt);
  EXPECT_EQ(ran, 1);
  preparation->whenDone([&] { ran += 10; });
  EXPECT_EQ(ran, 11);
  EXPECT_TRUE(failures_.empty());
}

TEST_F(PreparationLatchTest, FirstFailureIsReportedOnceAndWaitersNeverRun) {
  auto preparation = latch();
  auto first = preparation->expect();
  auto second = preparation->expect();
  bool ran = false;
  preparation->whenDone([&] { ran = true; });
  first(std::string("no binding"));
  second(std::string("no background"));
  second(std::nullopt);
  preparation->whenDone([&] { ran = true; });
  EXPECT_FALSE(ran);
  EXPECT_EQ(failures_, std::vector<std::string>{"no binding"});
}

TEST_F(PreparationLatchTest, DeadlinePassingBeforeTheLastStepIsAFailure) {
  auto preparation = latch(1ms);
  auto step = preparation->expect();
  bool ran = false;
  preparation->whenDone([&] { ran = true; });
  auto until = std::chrono::steady_clock::now() + 30s;
  while (failures_.empty() && std::chrono::steady_clock::now() < until) loop_.runOnce(100ms);
  EXPECT_EQ(failures_, std::vector<std::string>{"late"});
  step(std::nullopt);
  EXPECT_FALSE(ran);
}

TEST_F(PreparationLatchTest, DeadlineAfterSuccessOrDestructionReportsNothing) {
  auto done = latch(1ms);
  done->expect()(std::nullopt);
  auto gone = latch(1ms);
  auto lateStep = gone->expect();
  gone.reset();
  lateStep(std::nullopt);  // the web view went first: nothing left to tell
  bool fired = false;
  loop_.addTimer(5ms, false, [&] { fired = true; });
  auto until = std::chrono::steady_clock::now() + 30s;
  while (!fired && std::chrono::steady_clock::now() < until) loop_.runOnce(100ms);
  ASSERT_TRUE(fired);
  EXPECT_TRUE(failures_.empty());
  bool ran = false;
  done->whenDone([&] { ran = true; });
  EXPECT_TRUE(ran);
}

}  // namespace
}  // namespace tavrelle::chromium
