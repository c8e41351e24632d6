#pragma once

#include <cstdint>

namespace tavrelle {

class MainWindow;
class MessageChannel;
class PagePoster;

// Timer id of the 10 ms re-centring timer, on the main window.
inline constexpr int32_t kPointerLockTimerId = 1000;

// Lets the page capture the mouse: hides and confines the cursor, keeps it centred and
// forwards raw mouse movement to the page. Not built yet: the switch answers nothing
// and movement goes nowhere. Main thread only.
class PointerLock {
 public:
  PointerLock(MainWindow& window, PagePoster& page);

  // Registers "set-pointer-lock-enabled".
  void AddHandlersTo(MessageChannel& channel);

  // The page's switch.
  void SetEnabled(bool enabled);
  // Raw relative movement from the window system.
  void OnRawMouseMovement(int32_t dx, int32_t dy);
  // The re-centring timer fired.
  void OnTimer();

 private:
  MainWindow& window_;
  PagePoster& page_;
};

}  // namespace tavrelle
