#include "platform/chromium/PreparationLatch.h"

#include <utility>

namespace tavrelle::chromium {

PreparationLatch::PreparationLatch(IoEventLoop& loop, std::chrono::milliseconds deadline,
                                   std::string lateText,
                                   std::function<void(const std::string& error)> onFailure)
    : loop_(loop) {
  state_->onFailure = std::move(onFailure);
  std::weak_ptr<State> weak = state_;
  deadline_ = loop_.addTimer(deadline, false, [weak, lateText = std::move(lateText)] {
    if (auto state = weak.lock(); state && !state->failed && state->outstanding > 0)
      fail(state, lateText);
  });
}

PreparationLatch::~PreparationLatch() {
  loop_.cancelTimer(deadline_);  // no matter if it has fired: ids are never reused
  // Steps that complete later find no state and do nothing.
}

PreparationLatch::StepDone PreparationLatch::expect() {
  ++state_->outstanding;
  std::weak_ptr<State> weak = state_;
  return [weak, reported = false](const std::optional<std::string>& error) mutable {
    auto state = weak.lock();
    if (!state || state->failed || std::exchange(reported, true)) return;
    if (error) return fail(state, *error);
    if (--state->outstanding > 0) return;
    auto waiting = std::exchange(state->waiting, {});
    for (auto& then : waiting) then();
  };
}

void PreparationLatch::whenDone(std::function<void()> then) {
  if (state_->failed) return;
  if (state_->outstanding == 0) return then();
  state_->waiting.push_back(std::move(then));
}

void PreparationLatch::fail(const std::shared_ptr<State>& state, const std::string& error) {
  state->failed = true;
  state->waiting.clear();
  if (auto onFailure = std::exchange(state->onFailure, nullptr)) onFailure(error);
}

}  // namespace tavrelle::chromium
