// The page's commands to the main window, and the one fullscreen state shared by the
// page's requests and the web view's element fullscreen.

#include "app/Dpi.h"
#include "messaging/HostMessages.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

// Title bar and sizing border go while fullscreen.
constexpr uint32_t kFramedStyleMask = window_style::kCaption | window_style::kThickFrame;
// Dialog-modal frame, window edge, client edge and static edge.
constexpr uint32_t kEdgeExStyleMask = 0x00020301;

constexpr uint32_t kFullscreenPosFlags =
    window_pos::kNoZOrder | window_pos::kNoActivate | window_pos::kFrameChanged;
constexpr uint32_t kResizePosFlags =
    window_pos::kNoMove | window_pos::kNoZOrder | window_pos::kNoActivate;
constexpr uint32_t kMovePosFlags =
    window_pos::kNoSize | window_pos::kNoZOrder | window_pos::kNoActivate;

}  // namespace

void ZephyxWebView::SetFullscreen(bool enable) {
  if (enable == isFullscreen_) {
    return;
  }
  isFullscreen_ = enable;
  Rect target;
  if (enable) {
    savedStyle_ = window_->style();
    savedExStyle_ = window_->exStyle();
    savedRect_ = window_->windowRect();
    window_->setStyle(savedStyle_ & ~kFramedStyleMask);
    window_->setExStyle(savedExStyle_ & ~kEdgeExStyleMask);
    target = window_->monitorRectNearest();
  } else {
    window_->setStyle(savedStyle_);
    window_->setExStyle(savedExStyle_);
    target = savedRect_;
  }
  window_->setWindowPos(target.left, target.top, target.width(), target.height(),
                        kFullscreenPosFlags);
  window_->markFullscreen(enable);
  PostJsonToPage(host_messages::FullscreenChange(enable));
}

// Requests made while fullscreen are dropped, not remembered for later.
void ZephyxWebView::SetWindowSize(int32_t width, int32_t height) {
  if (isFullscreen_ || width < 1 || height < 1) {
    return;
  }
  const Rect client{0, 0, ScaleForDpi(width), ScaleForDpi(height)};
  const Rect outer = window_->adjustWindowRect(client, window_->style());
  window_->setWindowPos(0, 0, outer.width(), outer.height(), kResizePosFlags);
}

// Negative positions are fine: monitors may lie left of or above the primary one.
void ZephyxWebView::SetWindowPosition(int32_t x, int32_t y) {
  if (isFullscreen_) {
    return;
  }
  window_->setWindowPos(ScaleForDpi(x), ScaleForDpi(y), 0, 0, kMovePosFlags);
}

void ZephyxWebView::ShowWindowCommand(ShowCommand command) { window_->showCommand(command); }

void ZephyxWebView::FocusWindow() {
  window_->setForeground();
  if (controller_) {
    controller_->MoveFocus(webview::MoveFocusReason::Programmatic);
  }
}

}  // namespace tavrelle
