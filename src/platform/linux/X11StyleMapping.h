#pragma once

#include <cstdint>

#include "platform/Geometry.h"
#include "platform/MainWindow.h"

namespace tavrelle::linux_platform {

// The _MOTIF_WM_HINTS property: five 32-bit items, the way window managers read it.
struct MotifWmHints {
  static constexpr unsigned long kFlagFunctions = 1;
  static constexpr unsigned long kFlagDecorations = 2;
  static constexpr unsigned long kFuncResize = 2;
  static constexpr unsigned long kFuncMove = 4;
  static constexpr unsigned long kFuncMinimize = 8;
  static constexpr unsigned long kFuncMaximize = 16;
  static constexpr unsigned long kFuncClose = 32;
  static constexpr unsigned long kDecorBorder = 2;
  static constexpr unsigned long kDecorResizeHandle = 4;
  static constexpr unsigned long kDecorTitle = 8;
  static constexpr unsigned long kDecorMenu = 16;
  static constexpr unsigned long kDecorMinimize = 32;
  static constexpr unsigned long kDecorMaximize = 64;

  unsigned long flags = 0;
  unsigned long functions = 0;
  unsigned long decorations = 0;
  long inputMode = 0;
  unsigned long status = 0;
  friend bool operator==(const MotifWmHints&, const MotifWmHints&) = default;
};

// Decorations follow the caption bit (none at all without it); the sizing border makes
// the window resizable; the minimize and maximize boxes become the matching functions.
[[nodiscard]] MotifWmHints MotifHintsForStyle(uint32_t style);

// Without a sizing border the window keeps its size: minimum and maximum size hints are
// pinned to the client size.
[[nodiscard]] inline bool IsResizableStyle(uint32_t style) {
  return (style & window_style::kThickFrame) != 0;
}

// The window manager's frame around the client area, from _NET_FRAME_EXTENTS.
struct FrameExtents {
  int32_t left = 0;
  int32_t right = 0;
  int32_t top = 0;
  int32_t bottom = 0;
  [[nodiscard]] bool empty() const { return left == 0 && right == 0 && top == 0 && bottom == 0; }
  friend bool operator==(const FrameExtents&, const FrameExtents&) = default;
};

[[nodiscard]] Rect GrowByFrame(Rect client, FrameExtents frame);
[[nodiscard]] Rect ShrinkByFrame(Rect outer, FrameExtents frame);

// The window's state as the window manager reports it (_NET_WM_STATE, WM_STATE).
struct WindowStateFlags {
  bool maximizedVert = false;
  bool maximizedHorz = false;
  bool hidden = false;  // _NET_WM_STATE_HIDDEN
  bool iconic = false;  // WM_STATE IconicState
  bool fullscreen = false;
  friend bool operator==(const WindowStateFlags&, const WindowStateFlags&) = default;
};

[[nodiscard]] inline bool IsMaximized(WindowStateFlags state) {
  return state.maximizedVert && state.maximizedHorz;
}
[[nodiscard]] inline bool IsMinimized(WindowStateFlags state) {
  return state.iconic || state.hidden;
}
[[nodiscard]] SizeType SizeTypeForState(WindowStateFlags state);

// The decoration bits of the style word plus the state bits from the real state.
[[nodiscard]] uint32_t StyleWithState(uint32_t decorationStyle, WindowStateFlags state,
                                      bool visible);

}  // namespace tavrelle::linux_platform
