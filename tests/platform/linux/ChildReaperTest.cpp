#include "platform/linux/ChildReaper.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/linux/ChildProcess.h"

namespace tavrelle::linux_platform {
namespace {

size_t ThreadCount() {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
    ++count;
  return count;
}

template <typename Condition>
bool WaitUntil(Condition condition) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

TEST(ChildReaper, ManyChildrenAreReapedByOneThread) {
  size_t threadsBefore = ThreadCount();
  ChildReaper reaper;
  std::vector<pid_t> children;
  for (int i = 0; i < 60; ++i) {
    pid_t pid = StartProgram({"sh", "-c", "sleep 0.2"}, true);
    ASSERT_GT(pid, 0);
    children.push_back(pid);
    reaper.adopt(pid);
  }
  EXPECT_LE(ThreadCount(), threadsBefore + 1);
  ASSERT_TRUE(WaitUntil([&] { return reaper.pendingCount() == 0; }));
  for (pid_t pid : children) {
    // Reaped: no zombie is left to wait for.
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
  }
}

TEST(ChildReaper, ChildStartedAfterAQuietSpellIsStillReaped) {
  ChildReaper reaper;
  pid_t first = StartProgram({"true"}, true);
  reaper.adopt(first);
  ASSERT_TRUE(WaitUntil([&] { return reaper.pendingCount() == 0; }));
  pid_t second = StartProgram({"true"}, true);
  reaper.adopt(second);
  ASSERT_TRUE(WaitUntil([&] { return reaper.pendingCount() == 0; }));
  EXPECT_EQ(waitpid(second, nullptr, WNOHANG), -1);
}

}  // namespace
}  // namespace tavrelle::linux_platform
