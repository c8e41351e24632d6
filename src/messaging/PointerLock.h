#pragma once

#include <cstdint>

#include "platform/RawMouseSample.h"

namespace tavrelle {

class MainWindow;
class MessageChannel;
class PagePoster;

// Timer id of the 10 ms re-centring timer, on the main window.
inline constexpr int32_t kPointerLockTimerId = 1000;
inline constexpr int32_t kPointerLockTimerPeriodMs = 10;

// Lets the page capture the mouse: on request the cursor is hidden, confined to the
// window's outer rectangle and kept at its centre, and every raw mouse sample goes to
// the page as "pointer-lock-movement". Only the page ends it: focus, minimizing,
// fullscreen and moves change nothing. Main thread only.
class PointerLock {
 public:
  PointerLock(MainWindow& window, PagePoster& page);

  // Registers "set-pointer-lock-enabled".
  void AddHandlersTo(MessageChannel& channel);

  // The page's switch. A request for the state last requested does nothing at all.
  void SetEnabled(bool enabled);
  // One raw mouse sample, delivered while raw input is registered.
  void OnRawInput(const RawMouseSample& sample);
  // The re-centring timer fired: the confinement follows the window, the cursor
  // returns to its centre; nothing is sent.
  void OnTimer();

  [[nodiscard]] bool IsEnabled() const { return enabled_; }

 private:
  void ClipAndCentre();
  void SendMovement(int32_t dx, int32_t dy);

  MainWindow& window_;
  PagePoster& page_;
  bool enabled_ = false;
  bool awaitingFirstAbsolute_ = false;
  int32_t lastAbsoluteX_ = 0;
  int32_t lastAbsoluteY_ = 0;
};

}  // namespace tavrelle
