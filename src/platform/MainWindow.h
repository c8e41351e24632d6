#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Geometry.h"
#include "platform/MouseInput.h"
#include "platform/WindowPointer.h"
#include "platform/PointerInput.h"
#include "platform/RawMouseSample.h"

namespace tavrelle {

// Window style bits. The core keeps the classic top-level window style word so
// that the start-up, fullscreen and caption rules stay exact on every platform;
// each window system maps the bits onto its own decorations.
namespace window_style {
inline constexpr uint32_t kOverlapped = 0x00000000;
inline constexpr uint32_t kMaximizeBox = 0x00010000;
inline constexpr uint32_t kMinimizeBox = 0x00020000;
inline constexpr uint32_t kThickFrame = 0x00040000;  // sizing border: resizable
inline constexpr uint32_t kSysMenu = 0x00080000;
inline constexpr uint32_t kCaption = 0x00C00000;   // title bar (border + dialog frame)
inline constexpr uint32_t kMaximize = 0x01000000;  // state bit: maximized
inline constexpr uint32_t kVisible = 0x10000000;   // state bit: shown
inline constexpr uint32_t kMinimize = 0x20000000;  // state bit: minimized
inline constexpr uint32_t kOverlappedWindow = 0x00CF0000;
}  // namespace window_style

// Flags of MainWindow::setWindowPos, with their classic values.
namespace window_pos {
inline constexpr uint32_t kNoSize = 0x0001;
inline constexpr uint32_t kNoMove = 0x0002;
inline constexpr uint32_t kNoZOrder = 0x0004;
inline constexpr uint32_t kNoActivate = 0x0010;
inline constexpr uint32_t kFrameChanged = 0x0020;
}  // namespace window_pos

enum class ShowCommand { Maximize, Minimize, Restore };

// Size type of a Size event, with the classic values.
enum class SizeType : uint32_t { Restored = 0, Minimized = 1, Maximized = 2 };

// The small set of events that the window system translates its own events into.
struct WindowEvent {
  enum class Kind {
    Close,     // the user (or the page) asked to close; default handling destroys the window
    Destroy,   // the window is gone; the loop should end
    Move,      // the window moved on screen
    Size,      // the client area changed size or the window changed state (sizeType)
    SetFocus,  // the window received the keyboard focus
    RawInput,  // one raw mouse sample (raw), delivered while registered
    Timer,     // a timer set with MainWindow::setTimer fired (timerId)
    Mouse,     // a mouse message (mouse), delivered while the window relays its pointer
    Pointer,   // a touch or pen message (pointerMessage, pointer), likewise
  };
  Kind kind = Kind::Close;
  SizeType sizeType = SizeType::Restored;
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t timerId = 0;
  MouseMessage mouse{};
  uint32_t pointerMessage = 0;
  PointerInfo pointer{};
  RawMouseSample raw{};
};

// What the window procedure did with an event.
enum class WindowProcResult { Handled, Default };

// The window procedure: receives every translated event; Default asks the window
// system for its default handling (Close destroys the window).
using WindowProc = std::function<WindowProcResult(const WindowEvent&)>;

// A decoded image, 32-bit ARGB pixels row by row.
struct Image {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> argb;
};

struct MainWindowParams {
  std::string className;  // "Tavrelle"; also the window's class hint
  std::string title;      // UTF-8
  uint32_t style = window_style::kOverlappedWindow;
  int32_t outerWidth = 0;  // size from adjustWindowRect of the client size
  int32_t outerHeight = 0;
  std::optional<Image> icon;  // none: the system's default application icon
  Rgb background;             // painted until the web view covers the window
};

// The host's one top-level window. Created hidden. All calls on the main thread.
class MainWindow {
 public:
  virtual ~MainWindow() = default;

  // The window system's handle of the window (an X11 window id on Linux).
  [[nodiscard]] virtual uint64_t nativeHandle() const = 0;

  // Shows the window (a no-op when shown) and paints it.
  virtual void show() = 0;
  virtual void showCommand(ShowCommand command) = 0;
  virtual void setTitle(const std::string& utf8Title) = 0;

  // Style word including the kMaximize, kMinimize and kVisible state bits.
  [[nodiscard]] virtual uint32_t style() const = 0;
  // Applies the decoration bits; the state bits restore maximized or normal state.
  virtual void setStyle(uint32_t style) = 0;

  // Outer rectangle in screen coordinates, frame included.
  [[nodiscard]] virtual Rect windowRect() const = 0;
  // Client rectangle: (0, 0, width, height).
  [[nodiscard]] virtual Rect clientRect() const = 0;
  // Grows a client rectangle to the outer rectangle for the given style.
  [[nodiscard]] virtual Rect adjustWindowRect(Rect client, uint32_t style) const = 0;
  // Moves and sizes the outer window; flags from window_pos.
  virtual void setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height,
                            uint32_t flags) = 0;
  // The whole rectangle of the monitor nearest to the window.
  [[nodiscard]] virtual Rect monitorRectNearest() const = 0;
  // Tells the desktop (panels, window manager) that the window is fullscreen.
  virtual void markFullscreen(bool fullscreen) = 0;
  // Raises and activates the window.
  virtual void setForeground() = 0;
  // The window is the one the user works in: it (or a window inside it) holds the
  // keyboard focus, or no application holds it at all.
  [[nodiscard]] virtual bool isActive() const = 0;
  // Asks the window to close, as the user's close action does (a Close event).
  virtual void close() = 0;

  // Raw mouse input and the cursor (pointer lock).
  [[nodiscard]] virtual PointerInput& pointerInput() = 0;

  // Timers deliver Timer events with the id until killed; setting an existing id restarts it.
  virtual void setTimer(int32_t id, int32_t intervalMs) = 0;
  virtual void killTimer(int32_t id) = 0;

  // Pointer services for a web view whose input the host relays (visual hosting);
  // nothing when the window system has none. Once asked for, the window delivers
  // Mouse and Pointer events.
  [[nodiscard]] virtual WindowPointer* relayPointer() { return nullptr; }
};

// The display connection: creates the main window, answers screen questions.
class WindowSystem {
 public:
  virtual ~WindowSystem() = default;

  // Horizontal dots per inch of the screen (96 when unknown).
  [[nodiscard]] virtual int screenDpi() = 0;

  // Grows a client rectangle to the outer rectangle that a new window of the style
  // gets, as MainWindow::adjustWindowRect does once the window exists. The default
  // suits window systems that place their frames outside the window.
  [[nodiscard]] virtual Rect adjustWindowRect(Rect client, uint32_t style) const {
    static_cast<void>(style);
    return client;
  }

  // Creates the hidden top-level window; nullptr on failure.
  virtual std::unique_ptr<MainWindow> createMainWindow(const MainWindowParams& params,
                                                       WindowProc proc) = 0;
};

}  // namespace tavrelle
