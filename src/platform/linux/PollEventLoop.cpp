#include "platform/linux/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <system_error>

namespace tavrelle::linux_platform {

using Clock = std::chrono::steady_clock;

namespace {

// The loop's task boundary: whatever one task throws ends that task, never the loop
// or the process. The failure is written to standard error.
void runGuarded(const std::function<void()>& work) {
  try {
    work();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tavrelle: a task of the main loop failed: %s\n", error.what());
  } catch (...) {
    std::fprintf(stderr, "tavrelle: a task of the main loop failed\n");
  }
}

}  // namespace

PollEventLoop::PollEventLoop() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeFd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollEventLoop::~PollEventLoop() { close(wakeFd_); }

void PollEventLoop::post(std::function<void()> task) {
  {
    std::lock_guard lock(postedMutex_);
    posted_.push_back(std::move(task));
  }
  uint64_t one = 1;
  // A full counter already means "wake up"; nothing else can fail here.
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void PollEventLoop::quit(int exitCode) {
  if (quit_) return;
  quit_ = true;
  exitCode_ = exitCode;
}

int PollEventLoop::run() {
  while (runOnce(std::chrono::hours(1))) {
  }
  return exitCode_;
}

void PollEventLoop::watchReadable(int fd, std::function<void()> onReadable) {
  watches_[fd] = std::move(onReadable);
}

void PollEventLoop::unwatch(int fd) { watches_.erase(fd); }

void PollEventLoop::watchWritable(int fd, std::function<void()> onWritable) {
  writeWatches_[fd] = std::move(onWritable);
}

void PollEventLoop::unwatchWritable(int fd) { writeWatches_.erase(fd); }

PollEventLoop::TimerId PollEventLoop::addTimer(std::chrono::milliseconds interval, bool repeating,
                                               std::function<void()> onFire) {
  TimerId id = nextTimerId_++;
  timers_[id] = Timer{Clock::now() + interval, interval, repeating, std::move(onFire)};
  return id;
}

void PollEventLoop::cancelTimer(TimerId id) { timers_.erase(id); }

int PollEventLoop::pollTimeoutMs(std::chrono::milliseconds cap) const {
  auto wait = cap;
  auto now = Clock::now();
  for (const auto& [id, timer] : timers_) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(timer.due - now);
    if (left < wait) wait = left;
  }
  return static_cast<int>(std::max<int64_t>(0, wait.count()));
}

bool PollEventLoop::runOnce(std::chrono::milliseconds timeout) {
  if (quit_) return false;
  std::vector<pollfd> fds;
  fds.push_back({wakeFd_, POLLIN, 0});
  for (const auto& [fd, callback] : watches_) fds.push_back({fd, POLLIN, 0});
  for (const auto& [fd, callback] : writeWatches_) fds.push_back({fd, POLLOUT, 0});

  int ready = poll(fds.data(), fds.size(), pollTimeoutMs(timeout));
  if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");

  if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
    uint64_t count = 0;
    [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
  }
  runPostedTasks();
  for (size_t i = 1; ready > 0 && i < fds.size() && !quit_; ++i) {
    if (fds[i].revents == 0) continue;
    auto& watches = fds[i].events == POLLOUT ? writeWatches_ : watches_;
    auto watch = watches.find(fds[i].fd);
    if (watch == watches.end()) continue;  // unwatched by an earlier callback
    auto callback = watch->second;         // the callback may unwatch itself
    runGuarded(callback);
  }
  runDueTimers();
  return !quit_;
}

void PollEventLoop::runPostedTasks() {
  std::vector<std::function<void()>> tasks;
  {
    std::lock_guard lock(postedMutex_);
    tasks.swap(posted_);
  }
  for (auto& task : tasks) {
    if (quit_) return;
    runGuarded(task);
  }
}

void PollEventLoop::runDueTimers() {
  auto now = Clock::now();
  std::vector<TimerId> due;
  for (const auto& [id, timer] : timers_) {
    if (timer.due <= now) due.push_back(id);
  }
  for (TimerId id : due) {
    if (quit_) return;
    auto timer = timers_.find(id);
    if (timer == timers_.end()) continue;  // cancelled by an earlier timer
    auto callback = timer->second.onFire;
    if (timer->second.repeating) {
      timer->second.due = now + timer->second.interval;
    } else {
      timers_.erase(timer);
    }
    runGuarded(callback);
  }
}

}  // namespace tavrelle::linux_platform
