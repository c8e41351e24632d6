#pragma once

#include <functional>
#include <utility>
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
    if (whileRunning) whileRunning();
    for (size_t index = 0; index < tasks_.size() && quitCodes.empty(); ++index) {
      std::exchange(tasks_[index], nullptr)();
    }
    tasks_.clear();
    return quitCodes.empty() ? kNeverQuit : quitCodes.front();
  }
  void quit(int exitCode) override { quitCodes.push_back(exitCode); }

  std::function<void()> whileRunning;
  std::vector<int> quitCodes;

 private:
  std::vector<std::function<void()>> tasks_;
};

}  // namespace tavrelle::test
