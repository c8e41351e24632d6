#include "platform/linux/X11StyleMapping.h"

namespace tavrelle::linux_platform {

namespace ws = window_style;

MotifWmHints MotifHintsForStyle(uint32_t style) {
  MotifWmHints hints;
  hints.flags = MotifWmHints::kFlagFunctions | MotifWmHints::kFlagDecorations;
  hints.functions = MotifWmHints::kFuncMove | MotifWmHints::kFuncClose;
  const bool resizable = IsResizableStyle(style);
  if (resizable) hints.functions |= MotifWmHints::kFuncResize;
  if ((style & ws::kMinimizeBox) != 0) hints.functions |= MotifWmHints::kFuncMinimize;
  // Maximizing a window that cannot be resized would only fight its pinned size hints.
  if ((style & ws::kMaximizeBox) != 0 && resizable) hints.functions |= MotifWmHints::kFuncMaximize;

  // The caption bits are two bits (border and dialog frame); the title bar needs both.
  if ((style & ws::kCaption) == ws::kCaption) {
    hints.decorations = MotifWmHints::kDecorBorder | MotifWmHints::kDecorTitle;
    if ((style & ws::kSysMenu) != 0) hints.decorations |= MotifWmHints::kDecorMenu;
    if (resizable) hints.decorations |= MotifWmHints::kDecorResizeHandle;
    if ((hints.functions & MotifWmHints::kFuncMinimize) != 0) {
      hints.decorations |= MotifWmHints::kDecorMinimize;
    }
    if ((hints.functions & MotifWmHints::kFuncMaximize) != 0) {
      hints.decorations |= MotifWmHints::kDecorMaximize;
    }
  }
  return hints;
}

Rect GrowByFrame(Rect client, FrameExtents frame) {
  return Rect{client.left - frame.left, client.top - frame.top, client.right + frame.right,
              client.bottom + frame.bottom};
}

Rect ShrinkByFrame(Rect outer, FrameExtents frame) {
  return Rect{outer.left + frame.left, outer.top + frame.top, outer.right - frame.right,
              outer.bottom - frame.bottom};
}

SizeType SizeTypeForState(WindowStateFlags state) {
  if (IsMinimized(state)) return SizeType::Minimized;
  if (IsMaximized(state)) return SizeType::Maximized;
  return SizeType::Restored;
}

uint32_t StyleWithState(uint32_t decorationStyle, WindowStateFlags state, bool visible) {
  uint32_t style = decorationStyle & ~(ws::kMaximize | ws::kMinimize | ws::kVisible);
  if (IsMaximized(state)) style |= ws::kMaximize;
  if (IsMinimized(state)) style |= ws::kMinimize;
  if (visible) style |= ws::kVisible;
  return style;
}

}  // namespace tavrelle::linux_platform
