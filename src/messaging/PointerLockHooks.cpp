// Where pointer lock plugs into the host: the page's switch, raw mouse movement and
// the 10 ms re-centring timer (id 1000). Pointer lock itself is not built yet, so the
// switch answers nothing and movement goes nowhere.

#include "webview/ZephyxWebView.h"

namespace tavrelle {

void ZephyxWebView::SetPointerLockEnabled(bool enabled) { static_cast<void>(enabled); }

void ZephyxWebView::OnRawMouseMovement(int32_t dx, int32_t dy) {
  static_cast<void>(dx);
  static_cast<void>(dy);
}

void ZephyxWebView::OnPointerLockTimer() {}

}  // namespace tavrelle
