#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "platform/IoEventLoop.h"

namespace tavrelle::linux_platform {

// The main loop on Linux: one poll() over the watched descriptors (the X11
// connection, the browser pipe's wake-up), a queue of posted tasks woken through an
// eventfd, and timers kept as deadlines.
class PollEventLoop final : public IoEventLoop {
 public:
  PollEventLoop();
  ~PollEventLoop() override;
  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  void post(std::function<void()> task) override;
  int run() override;
  void quit(int exitCode) override;

  void watchReadable(int fd, std::function<void()> onReadable) override;
  void unwatch(int fd) override;
  void watchWritable(int fd, std::function<void()> onWritable) override;
  void unwatchWritable(int fd) override;
  TimerId addTimer(std::chrono::milliseconds interval, bool repeating,
                   std::function<void()> onFire) override;
  void cancelTimer(TimerId id) override;

  // Runs ready work once, waiting at most `timeout` for something to happen
  // (tests use it to drive the loop step by step). Returns false once quit.
  bool runOnce(std::chrono::milliseconds timeout);

  [[nodiscard]] bool quitRequested() const { return quit_; }

 private:
  struct Timer {
    std::chrono::steady_clock::time_point due;
    std::chrono::milliseconds interval;
    bool repeating;
    std::function<void()> onFire;
  };

  void runPostedTasks();
  void runDueTimers();
  int pollTimeoutMs(std::chrono::milliseconds cap) const;

  int wakeFd_;
  std::mutex postedMutex_;
  std::vector<std::function<void()>> posted_;
  std::map<int, std::function<void()>> watches_;
  std::map<int, std::function<void()>> writeWatches_;
  std::map<TimerId, Timer> timers_;
  TimerId nextTimerId_ = 1;
  bool quit_ = false;
  int exitCode_ = 0;
};

}  // namespace tavrelle::linux_platform
