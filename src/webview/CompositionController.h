#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MouseInput.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::webview {

// Where the web view's output goes.
enum class VisualTarget {
  Window,   // shown inside the host's main window, as the window system composes it
  Capture,  // taken off the screen by the host's capture renderer, which presents it
};

// A status of the runtime's visual operations: 0 on success, otherwise a failure code
// in the classic signed 32-bit form that log lines show.
using VisualStatus = int32_t;
inline constexpr VisualStatus kVisualOk = 0;
inline constexpr VisualStatus kVisualFailed = static_cast<int32_t>(0x80004005);
inline constexpr VisualStatus kVisualNotSupported = static_cast<int32_t>(0x80004001);

// A web view that has no window of its own receiving input: the host relays the main
// window's mouse and pointer input to it and shows the cursor it asks for.
class CompositionController {
 public:
  virtual ~CompositionController() = default;

  // The same web view's controller (bounds, focus, visibility).
  virtual WebViewController& controller() = 0;

  virtual VisualStatus put_RootVisualTarget(VisualTarget target) = 0;
  // kind: the mouse message number; virtualKeys: the message's key bits; mouseData: the
  // wheel delta or the X button; point: client coordinates ((0, 0) for MouseLeave).
  virtual void SendMouseInput(uint32_t kind, uint32_t virtualKeys, int32_t mouseData,
                              Point point) = 0;
  // kind: the pointer message number.
  virtual void SendPointerInput(uint32_t kind, const PointerInfo& info) = 0;
  // The page's cursor as a CSS cursor value ("auto" already resolved by the runtime).
  [[nodiscard]] virtual std::string get_Cursor() const = 0;
  virtual void add_CursorChanged(SimpleEventHandler handler) = 0;
};

using CompositionControllerCompletedHandler =
    std::function<void(const CreationResult&, std::shared_ptr<CompositionController>)>;

}  // namespace tavrelle::webview
