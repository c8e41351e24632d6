#include "app/MainWndProc.h"

#include "app/CurrentWebViewHost.h"
#include "messaging/PointerLock.h"
#include "messaging/HostMessages.h"
#include "visual/VisualHostingManager.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

// The host, only when its controller exists too.
ZephyxWebView* HostWithController() {
  ZephyxWebView* host = CurrentWebViewHost();
  return host != nullptr && host->controller() != nullptr ? host : nullptr;
}

void OnSize(const WindowEvent& event) {
  ZephyxWebView* host = HostWithController();
  if (host == nullptr) {
    return;
  }
  host->controller()->put_Bounds(host->window()->clientRect());
  if (VisualHostingManager* visual = host->visualHostingManager()) visual->UpdateSize();
  if (event.sizeType == SizeType::Maximized) {
    host->PostJsonToPage(host_messages::WindowMaximized());
  } else if (event.sizeType == SizeType::Minimized) {
    host->PostJsonToPage(host_messages::WindowMinimized());
  }
}

void OnMove() {
  if (ZephyxWebView* host = HostWithController()) {
    host->controller()->NotifyParentWindowPositionChanged();
  }
}

void OnSetFocus() {
  if (ZephyxWebView* host = HostWithController()) {
    host->controller()->MoveFocus(webview::MoveFocusReason::Programmatic);
  }
}

void OnRawInput(const WindowEvent& event) {
  if (ZephyxWebView* host = CurrentWebViewHost()) {
    host->OnRawInput(event.raw);
  }
}

void OnTimer(const WindowEvent& event) {
  ZephyxWebView* host = CurrentWebViewHost();
  if (host == nullptr) return;
  if (event.timerId == kPointerLockTimerId) {
    host->OnPointerLockTimer();
  } else if (event.timerId == VisualHostingManager::kRendererLogTimerId) {
    if (VisualHostingManager* visual = host->visualHostingManager()) visual->FlushRendererLog();
  }
}

// Mouse and pointer input goes to a web view that has no window of its own.
void RelayInput(const WindowEvent& event) {
  ZephyxWebView* host = CurrentWebViewHost();
  VisualHostingManager* visual = host != nullptr ? host->visualHostingManager() : nullptr;
  if (visual == nullptr) return;
  if (event.kind == WindowEvent::Kind::Mouse) {
    visual->HandleMouseMessage(event.mouse);
  } else if (event.kind == WindowEvent::Kind::Pointer) {
    visual->ForwardPointerMessage(event.pointerMessage, event.pointer);
  }
}

}  // namespace

WindowProcResult MainWndProc(const WindowEvent& event, EventLoop& loop) {
  switch (event.kind) {
    case WindowEvent::Kind::Close:
      return WindowProcResult::Default;
    case WindowEvent::Kind::Destroy:
      loop.quit(0);
      return WindowProcResult::Handled;
    case WindowEvent::Kind::Move:
      OnMove();
      return WindowProcResult::Handled;
    case WindowEvent::Kind::Size:
      OnSize(event);
      return WindowProcResult::Handled;
    case WindowEvent::Kind::SetFocus:
      OnSetFocus();
      return WindowProcResult::Default;
    case WindowEvent::Kind::RawInput:
      OnRawInput(event);
      return WindowProcResult::Handled;
    case WindowEvent::Kind::Timer:
      OnTimer(event);
      return WindowProcResult::Handled;
    case WindowEvent::Kind::Mouse:
    case WindowEvent::Kind::Pointer:
      RelayInput(event);
      return WindowProcResult::Default;
  }
  return WindowProcResult::Default;
}

}  // namespace tavrelle
