#pragma once

#include <functional>
#include <vector>

#include "platform/EventLoop.h"

namespace tavrelle::test {

// A main loop that runs a scripted body (what happens while the host runs), then the
// posted tasks, and returns the first exit code given to quit().
class FakeEventLoop final : public EventLoop {
 public:
  static constexpr int kNeverQuit = -100;

  void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }

  int run() override {
    ++runCount;
    if (whileRunning) {
      whileRunning();
    }
    for (size_t index = 0; index < tasks_.size() && !quit_; ++index) {
      auto task = std::move(tasks_[index]);
      task();
    }
    tasks_.clear();
    return quit_ ? exitCode_ : kNeverQuit;
  }

  void quit(int exitCode) override {
    quitCodes.push_back(exitCode);
    if (!quit_) {
      quit_ = true;
      exitCode_ = exitCode;
    }
  }

  std::function<void()> whileRunning;
  std::vector<int> quitCodes;
  int runCount = 0;

 private:
  std::vector<std::function<void()>> tasks_;
  bool quit_ = false;
  int exitCode_ = 0;
};

}  // namespace tavrelle::test
