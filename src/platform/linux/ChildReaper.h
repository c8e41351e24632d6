#pragma once

#include <sys/types.h>

#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace tavrelle::linux_platform {

// Reaps the children the host does not wait for (desktop openers and the like) with
// one thread for all of them, however many there are: each child's pidfd is polled
// beside a wake-up descriptor, and a child whose pidfd cannot be had is polled with
// WNOHANG instead.
class ChildReaper {
 public:
  ChildReaper();
  ~ChildReaper();
  ChildReaper(const ChildReaper&) = delete;
  ChildReaper& operator=(const ChildReaper&) = delete;

  // The process's reaper.
  static ChildReaper& instance();

  // Hands a started child over; it is reaped once it ends.
  void adopt(pid_t pid);
  // Children adopted and not yet reaped.
  [[nodiscard]] size_t pendingCount();

 private:
  struct Child {
    pid_t pid;
    int pidFd;  // -1 when the kernel offers none
  };

  void ensureThread();
  void run();
  void reapEnded();
  void wake() const;

  int wakeFd_;
  std::mutex mutex_;
  std::vector<Child> children_;
  std::thread thread_;
  bool stopping_ = false;
};

}  // namespace tavrelle::linux_platform
