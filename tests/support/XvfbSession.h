#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavrelle::test {

// A private X server (Xvfb on a free display number), optionally with openbox as its
// window manager, for tests that need a real display. Both are ended by the destructor.
class XvfbSession {
 public:
  struct Options {
    bool windowManager = false;  // start openbox and wait until it manages the screen
    int width = 1280;
    int height = 1024;
    std::vector<std::string> disabledExtensions{};  // server extensions turned off
  };

  explicit XvfbSession(Options options);
  ~XvfbSession();
  XvfbSession(const XvfbSession&) = delete;
  XvfbSession& operator=(const XvfbSession&) = delete;

  // The server (and the window manager, when asked for) is up.
  [[nodiscard]] bool ready() const { return ready_; }
  // The display name, ":<number>"; empty when the server did not start.
  [[nodiscard]] const std::string& display() const { return display_; }
  // Why the session is not ready.
  [[nodiscard]] const std::string& error() const { return error_; }

 private:
  bool startServer(const Options& options);
  bool startWindowManager();

  pid_t server_ = -1;
  pid_t windowManager_ = -1;
  std::string display_;
  std::string error_;
  bool ready_ = false;
};

}  // namespace tavrelle::test
