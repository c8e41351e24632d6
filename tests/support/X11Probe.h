#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

namespace tavrelle::test {

// Looks at another process's windows from outside, as a player's desktop sees them.
class X11Probe {
 public:
  explicit X11Probe(const std::string& display);
  ~X11Probe();
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;

  [[nodiscard]] bool connected() const { return display_ != nullptr; }

  // The top-level window of class "Tavrelle" owned by the process (mapped or not).
  std::optional<Window> findHostWindow(pid_t pid);
  // The host's window once it exists; 0 when it did not appear in time.
  Window waitForHostWindow(pid_t pid);
  // Polls until the window's title is exactly `expected`.
  bool waitForTitle(Window window, const std::string& expected);
  [[nodiscard]] bool isViewable(Window window);
  [[nodiscard]] std::string title(Window window);
  // The window's own (client) size.
  [[nodiscard]] std::pair<int, int> clientSize(Window window);
  [[nodiscard]] std::pair<int, int> screenSize();

  // Polls until the predicate holds; false at the timeout.
  static bool waitFor(const std::function<bool()>& predicate,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  std::optional<Window> search(Window root, pid_t pid);
  std::optional<long> cardinal(Window window, const char* property);

  Display* display_ = nullptr;
};

}  // namespace tavrelle::test
