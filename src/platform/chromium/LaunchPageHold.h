#pragma once

#include <cstdint>

namespace tavrelle {
class IoEventLoop;
}  // namespace tavrelle

namespace tavrelle::chromium {

// Where the app host name leads for the browser's whole life: a loopback port that the
// host holds. The browser's app window opens on a page of the app origin whose request
// the browser sends before the host can intercept it; while held, that connection is
// left waiting, so the window keeps its first, empty document in the renderer that the
// game's page then uses (a blank page of another origin would make the browser start a
// second renderer for the game, about a tenth of a second). Once released, every
// connection is accepted and closed at once: whatever request interception does not
// take (WebSockets to the app origin) fails quickly and reaches nothing else on the
// machine, since the port stays the host's.
class LaunchPageHold {
 public:
  explicit LaunchPageHold(IoEventLoop& loop);
  ~LaunchPageHold();
  LaunchPageHold(const LaunchPageHold&) = delete;
  LaunchPageHold& operator=(const LaunchPageHold&) = delete;

  // The held port; 0 when no port could be opened (the app host name then has no address).
  [[nodiscard]] uint16_t port() const { return port_; }
  // From now on connections are refused (accepted and closed) instead of held.
  void release();

 private:
  void refuseWaitingConnections();

  IoEventLoop& loop_;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  bool released_ = false;
};

}  // namespace tavrelle::chromium
