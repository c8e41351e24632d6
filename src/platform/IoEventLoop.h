#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/EventLoop.h"

namespace tavrelle {

// The main loop as the web view runtime's adapter needs it: besides tasks, it watches
// descriptors (the browser's pipes and its exit) and runs timers, all on the loop's
// thread.
class IoEventLoop : public EventLoop {
 public:
  using TimerId = uint64_t;

  // Calls onReadable on the loop's thread whenever fd is readable (or hung up).
  virtual void watchReadable(int fd, std::function<void()> onReadable) = 0;
  virtual void unwatch(int fd) = 0;
  // Calls onWritable on the loop's thread whenever fd can take more bytes, until
  // unwatchWritable; independent of watchReadable on the same descriptor.
  virtual void watchWritable(int fd, std::function<void()> onWritable) = 0;
  virtual void unwatchWritable(int fd) = 0;

  // Calls onFire after interval, then again every interval while repeating.
  virtual TimerId addTimer(std::chrono::milliseconds interval, bool repeating,
                           std::function<void()> onFire) = 0;
  virtual void cancelTimer(TimerId id) = 0;
};

}  // namespace tavrelle
