#include "platform/linux/ChildReaper.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <system_error>

namespace tavrelle::linux_platform {

namespace {

// Children without a pidfd are looked at this often.
constexpr int kFallbackPollMs = 500;

int openPidFd(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  return -1;
#endif
}

bool hasEnded(pid_t pid) {
  int status = 0;
  pid_t result = waitpid(pid, &status, WNOHANG);
  // ECHILD: someone else reaped it; nothing is left to wait for.
  return result == pid || (result < 0 && errno == ECHILD);
}

}  // namespace

ChildReaper::ChildReaper() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

ChildReaper::~ChildReaper() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake();
  if (thread_.joinable()) thread_.join();
  for (const Child& child : children_) {
    if (child.pidFd >= 0) close(child.pidFd);
  }
  if (wakeFd_ >= 0) close(wakeFd_);
}

ChildReaper& ChildReaper::instance() {
  static ChildReaper reaper;
  return reaper;
}

void ChildReaper::adopt(pid_t pid) {
  {
    std::lock_guard lock(mutex_);
    children_.push_back(Child{pid, openPidFd(pid)});
  }
  ensureThread();
  wake();
}

size_t ChildReaper::pendingCount() {
  std::lock_guard lock(mutex_);
  return children_.size();
}

void ChildReaper::ensureThread() {
  std::lock_guard lock(mutex_);
  if (thread_.joinable() || stopping_ || wakeFd_ < 0) return;
  try {
    thread_ = std::thread([this] { run(); });
  } catch (const std::system_error& error) {
    // Out of threads: the children stay until a later adoption finds a thread.
    std::fprintf(stderr, "tavrelle: no thread to reap child processes: %s\n", error.what());
  }
}

void ChildReaper::wake() const {
  if (wakeFd_ < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void ChildReaper::run() {
  std::vector<pollfd> fds;
  while (true) {
    bool anyWithoutPidFd = false;
    fds.clear();
    fds.push_back({wakeFd_, POLLIN, 0});
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      for (const Child& child : children_) {
        if (child.pidFd >= 0) {
          fds.push_back({child.pidFd, POLLIN, 0});
        } else {
          anyWithoutPidFd = true;
        }
      }
    }
    int ready = poll(fds.data(), fds.size(), anyWithoutPidFd ? kFallbackPollMs : -1);
    if (ready < 0 && errno != EINTR) return;
    if ((fds[0].revents & POLLIN) != 0) {
      uint64_t count = 0;
      [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
    }
    reapEnded();
  }
}

void ChildReaper::reapEnded() {
  std::lock_guard lock(mutex_);
  for (auto child = children_.begin(); child != children_.end();) {
    if (!hasEnded(child->pid)) {
      ++child;
      continue;
    }
    if (child->pidFd >= 0) close(child->pidFd);
    child = children_.erase(child);
  }
}

}  // namespace tavrelle::linux_platform
