#pragma once

#include <functional>

namespace tavrelle {

// The main thread's loop. Everything the host does runs inside it, one task or
// event at a time; other threads hand work over with post().
class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // Queues a task to run on the loop's thread. Safe to call from any thread,
  // also before run() and from inside a task.
  virtual void post(std::function<void()> task) = 0;

  // Runs until quit() is called; returns the code given to quit().
  virtual int run() = 0;

  // Ends run() after the current task; later tasks are not run.
  virtual void quit(int exitCode) = 0;
};

}  // namespace tavrelle
