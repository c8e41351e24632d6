#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/IoEventLoop.h"

namespace tavrelle::chromium {

// Steps that must all succeed before something may go on. Waiters run once the last
// step has succeeded; the first failure, or the deadline passing first, is reported
// once and the waiters never run.
class PreparationLatch {
 public:
  using StepDone = std::function<void(const std::optional<std::string>& error)>;

  PreparationLatch(IoEventLoop& loop, std::chrono::milliseconds deadline, std::string lateText,
                   std::function<void(const std::string& error)> onFailure);
  ~PreparationLatch();
  PreparationLatch(const PreparationLatch&) = delete;
  PreparationLatch& operator=(const PreparationLatch&) = delete;

  // A step to wait for: call what this returns once, with an error text if it failed.
  // Every step is expected before the first one completes.
  StepDone expect();
  void whenDone(std::function<void()> then);

 private:
  struct State {
    int outstanding = 0;
    bool failed = false;
    std::vector<std::function<void()>> waiting;
    std::function<void(const std::string&)> onFailure;
  };
  static void fail(const std::shared_ptr<State>& state, const std::string& error);

  IoEventLoop& loop_;
  std::shared_ptr<State> state_ = std::make_shared<State>();
  IoEventLoop::TimerId deadline_;
};

}  // namespace tavrelle::chromium
