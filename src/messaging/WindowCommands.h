#pragma once

#include <cstdint>
#include <functional>

#include "platform/Geometry.h"
#include "platform/MainWindow.h"

namespace tavrelle {

class MessageChannel;
class PagePoster;

// The page's commands to the main window, and the one fullscreen state shared by the
// page's requests and the web view's element fullscreen. Sizes and positions are in
// logical (96 DPI) pixels. Main thread only.
class WindowCommands {
 public:
  // Gives the keyboard to the page after the window is raised (nothing before the web
  // view exists).
  using FocusPage = std::function<void()>;

  WindowCommands(MainWindow& window, PagePoster& page, FocusPage focusPage);

  // Registers "set-fullscreen", "set-window-size", "set-window-position",
  // "maximize-window", "minimize-window", "restore-window" and "focus-window".
  void AddHandlersTo(MessageChannel& channel);

  void SetFullscreen(bool enable);
  // Client size; ignored while fullscreen or when either is below 1.
  void SetWindowSize(int32_t width, int32_t height);
  // Outer top-left corner; ignored while fullscreen.
  void SetWindowPosition(int32_t x, int32_t y);
  void ShowWindowCommand(ShowCommand command);
  void FocusWindow();

  [[nodiscard]] bool isFullscreen() const { return isFullscreen_; }

 private:
  MainWindow& window_;
  PagePoster& page_;
  FocusPage focusPage_;
  bool isFullscreen_ = false;
  uint32_t savedStyle_ = 0;
  Rect savedRect_;
};

}  // namespace tavrelle
