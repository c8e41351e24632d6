#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/types.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavrelle::test {

// A connection of its own that looks at the server the way other clients (and a
// player's desktop) see it. It installs an X error handler that ignores windows which
// vanished meanwhile: make it before a connection that installs its own handler.
class X11Probe {
 public:
  explicit X11Probe(const std::string& display);
  ~X11Probe();
  X11Probe(const X11Probe&) = delete;
  X11Probe& operator=(const X11Probe&) = delete;

  [[nodiscard]] bool connected() const { return display_ != nullptr; }
  [[nodiscard]] Display* display() const { return display_; }
  [[nodiscard]] Window root() const { return DefaultRootWindow(display_); }
  [[nodiscard]] Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

  // A property's bytes (32-bit items as longs, as Xlib hands them over); empty when absent.
  [[nodiscard]] std::vector<unsigned char> property(Window window, const char* name,
                                                    Atom type) const;
  [[nodiscard]] std::vector<long> longs(Window window, const char* name, Atom type) const;
  [[nodiscard]] bool hasAtom(Window window, const char* property, const char* value) const {
    return std::ranges::count(longs(window, property, XA_ATOM), static_cast<long>(atom(value))) > 0;
  }
  // The window's attributes; map_state is -1 when the window does not exist.
  [[nodiscard]] XWindowAttributes attributes(Window window) const;
  [[nodiscard]] int mapState(Window window) const { return attributes(window).map_state; }
  [[nodiscard]] bool isViewable(Window window) const { return mapState(window) == IsViewable; }
  [[nodiscard]] Window parentOf(Window window) const;
  [[nodiscard]] Window focus() const;
  [[nodiscard]] bool inClientList(Window window) const {
    return std::ranges::count(longs(root(), "_NET_CLIENT_LIST", XA_WINDOW),
                              static_cast<long>(window)) > 0;
  }
  void clientMessage(Window target, Window window, const char* type, std::array<long, 5> data,
                     long mask) const;

  // The top-level window of class "Tavrelle" owned by the process (mapped or not).
  std::optional<Window> findHostWindow(pid_t pid) {
    XSync(display_, False);
    return search(root(), pid);
  }
  // The host's window once it exists; 0 when it did not appear in time.
  Window waitForHostWindow(pid_t pid) {
    std::optional<Window> window;
    waitFor([&] { return (window = findHostWindow(pid)).has_value(); });
    return window.value_or(0);
  }
  // Polls until the window's title is exactly `expected`.
  bool waitForTitle(Window window, const std::string& expected) {
    return waitFor([&] { return title(window) == expected; });
  }
  [[nodiscard]] std::string title(Window window) const {
    const std::vector<unsigned char> bytes = property(window, "_NET_WM_NAME", atom("UTF8_STRING"));
    return {bytes.begin(), bytes.end()};
  }
  // The window's own (client) size, and its client area's top-left corner on the root.
  [[nodiscard]] std::pair<int, int> clientSize(Window window) const {
    return {attributes(window).width, attributes(window).height};
  }
  [[nodiscard]] std::pair<int, int> clientOrigin(Window window) const;
  // Where the pointer is on the root.
  [[nodiscard]] std::pair<int, int> pointer() const;
  [[nodiscard]] std::pair<int, int> screenSize() const {
    return {attributes(root()).width, attributes(root()).height};
  }

  // Polls until the predicate holds; false at the timeout.
  static bool waitFor(const std::function<bool()>& predicate,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));

 private:
  std::optional<Window> search(Window root, pid_t pid);

  Display* display_ = nullptr;
};

}  // namespace tavrelle::test
