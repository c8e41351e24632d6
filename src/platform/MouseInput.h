#pragma once

#include <cstdint>

#include "platform/Geometry.h"

namespace tavrelle {

// Mouse messages of the main window, with the classic message numbers: a web view's
// mouse event kinds use the very same numbers.
namespace mouse_message {
inline constexpr uint32_t kNonClientRightButtonDown = 0x00A4;
inline constexpr uint32_t kNonClientRightButtonUp = 0x00A5;
inline constexpr uint32_t kMouseMove = 0x0200;
inline constexpr uint32_t kLeftButtonDown = 0x0201;
inline constexpr uint32_t kLeftButtonUp = 0x0202;
inline constexpr uint32_t kLeftButtonDoubleClick = 0x0203;
inline constexpr uint32_t kRightButtonDown = 0x0204;
inline constexpr uint32_t kRightButtonUp = 0x0205;
inline constexpr uint32_t kRightButtonDoubleClick = 0x0206;
inline constexpr uint32_t kMiddleButtonDown = 0x0207;
inline constexpr uint32_t kMiddleButtonUp = 0x0208;
inline constexpr uint32_t kMiddleButtonDoubleClick = 0x0209;
inline constexpr uint32_t kMouseWheel = 0x020A;
inline constexpr uint32_t kXButtonDown = 0x020B;
inline constexpr uint32_t kXButtonUp = 0x020C;
inline constexpr uint32_t kXButtonDoubleClick = 0x020D;
inline constexpr uint32_t kMouseHorizontalWheel = 0x020E;
inline constexpr uint32_t kMouseLeave = 0x02A3;
}  // namespace mouse_message

// Pointer (touch and pen) messages, with the classic numbers.
namespace pointer_message {
inline constexpr uint32_t kUpdate = 0x0245;
inline constexpr uint32_t kDown = 0x0246;
inline constexpr uint32_t kUp = 0x0247;
inline constexpr uint32_t kEnter = 0x0249;
inline constexpr uint32_t kLeave = 0x024A;
inline constexpr uint32_t kActivate = 0x024B;
}  // namespace pointer_message

// Key and button state bits in the low 16 bits of a mouse message's wParam.
namespace mouse_keys {
inline constexpr uint32_t kLeftButton = 0x0001;
inline constexpr uint32_t kRightButton = 0x0002;
inline constexpr uint32_t kShift = 0x0004;
inline constexpr uint32_t kControl = 0x0008;
inline constexpr uint32_t kMiddleButton = 0x0010;
inline constexpr uint32_t kXButton1 = 0x0020;
inline constexpr uint32_t kXButton2 = 0x0040;
}  // namespace mouse_keys

// One step of one wheel notch.
inline constexpr int32_t kWheelDelta = 120;

// A mouse message as the window procedure receives it. wParam: key and button bits in
// the low 16 bits; the wheel delta (signed) or the X button number in the high 16 bits.
// x, y: client coordinates, except for the wheels and the non-client messages, whose
// point is in screen coordinates.
struct MouseMessage {
  uint32_t message = 0;
  uint32_t wParam = 0;
  int32_t x = 0;
  int32_t y = 0;
};

// What the system reports of one touch or pen contact.
struct PointerInfo {
  enum class Kind : uint32_t { Pointer = 1, Touch = 2, Pen = 3, Mouse = 4 };
  Kind kind = Kind::Touch;
  uint32_t pointerId = 0;
  uint32_t pointerFlags = 0;  // classic POINTER_FLAG_* bits (new, in range, in contact ...)
  Point pixelLocation{};      // client coordinates
  uint32_t pressure = 0;      // 0 to 1024
  Rect contact{};             // touch: the contact rectangle
  int32_t tiltX = 0;          // pen
  int32_t tiltY = 0;
  uint32_t rotation = 0;
};

// Pointer flag bits used on every platform.
namespace pointer_flags {
inline constexpr uint32_t kInRange = 0x0002;
inline constexpr uint32_t kInContact = 0x0004;
inline constexpr uint32_t kPrimary = 0x2000;
inline constexpr uint32_t kCanceled = 0x8000;
}  // namespace pointer_flags

// The shapes the main window's cursor can take; Hidden shows none.
enum class SystemCursor {
  Arrow,
  Hand,
  IBeam,
  Cross,
  SizeAll,
  Wait,
  AppStarting,
  No,
  SizeNS,
  SizeWE,
  SizeNWSE,
  SizeNESW,
  Grab,
  Grabbing,
  Help,
  Hidden
};

}  // namespace tavrelle
