#include "messaging/WindowCommands.h"

#include <string>
#include <utility>

#include "common/Dpi.h"
#include "common/JsonReaders.h"
#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"

namespace tavrelle {

namespace {

using json = nlohmann::json;

// Title bar and sizing border go while fullscreen.
constexpr uint32_t kFramedStyleMask = window_style::kCaption | window_style::kThickFrame;

constexpr uint32_t kFullscreenPosFlags =
    window_pos::kNoZOrder | window_pos::kNoActivate | window_pos::kFrameChanged;
constexpr uint32_t kResizePosFlags =
    window_pos::kNoMove | window_pos::kNoZOrder | window_pos::kNoActivate;
constexpr uint32_t kMovePosFlags =
    window_pos::kNoSize | window_pos::kNoZOrder | window_pos::kNoActivate;

}  // namespace

WindowCommands::WindowCommands(MainWindow& window, PagePoster& page, FocusPage focusPage)
    : window_(window), page_(page), focusPage_(std::move(focusPage)) {}

void WindowCommands::AddHandlersTo(MessageChannel& channel) {
  channel.addHandler(host_messages::kSetFullscreen,
                     [this](const json& message, const std::string&) {
                       SetFullscreen(GetBoolOr(message, "fullscreen", false));
                     });
  channel.addHandler(host_messages::kSetWindowSize,
                     [this](const json& message, const std::string&) {
                       const int32_t height = GetIntOr(message, "windowHeight", 0);
                       const int32_t width = GetIntOr(message, "windowWidth", 0);
                       SetWindowSize(width, height);
                     });
  channel.addHandler(host_messages::kSetWindowPosition,
                     [this](const json& message, const std::string&) {
                       const int32_t y = GetIntOr(message, "windowY", 0);
                       const int32_t x = GetIntOr(message, "windowX", 0);
                       SetWindowPosition(x, y);
                     });
  const auto show = [this](ShowCommand command) {
    return [this, command](const json&, const std::string&) { ShowWindowCommand(command); };
  };
  channel.addHandler(host_messages::kMaximizeWindow, show(ShowCommand::Maximize));
  channel.addHandler(host_messages::kMinimizeWindow, show(ShowCommand::Minimize));
  channel.addHandler(host_messages::kRestoreWindow, show(ShowCommand::Restore));
  channel.addHandler(host_messages::kFocusWindow,
                     [this](const json&, const std::string&) { FocusWindow(); });
}

void WindowCommands::SetFullscreen(bool enable) {
  if (enable == isFullscreen_) {
    return;
  }
  isFullscreen_ = enable;
  Rect target;
  if (enable) {
    savedStyle_ = window_.style();
    savedRect_ = window_.windowRect();
    window_.setStyle(savedStyle_ & ~kFramedStyleMask);
    target = window_.monitorRectNearest();
  } else {
    window_.setStyle(savedStyle_);
    target = savedRect_;
  }
  window_.setWindowPos(target.left, target.top, target.width(), target.height(),
                       kFullscreenPosFlags);
  window_.markFullscreen(enable);
  page_.PostJsonToPage(host_messages::FullscreenChange(enable));
}

// Requests made while fullscreen are dropped, not remembered for later.
void WindowCommands::SetWindowSize(int32_t width, int32_t height) {
  if (isFullscreen_ || width < 1 || height < 1) {
    return;
  }
  const Rect client{0, 0, ScaleForDpi(width), ScaleForDpi(height)};
  const Rect outer = window_.adjustWindowRect(client, window_.style());
  window_.setWindowPos(0, 0, outer.width(), outer.height(), kResizePosFlags);
}

// Negative positions are fine: monitors may lie left of or above the primary one.
void WindowCommands::SetWindowPosition(int32_t x, int32_t y) {
  if (isFullscreen_) {
    return;
  }
  window_.setWindowPos(ScaleForDpi(x), ScaleForDpi(y), 0, 0, kMovePosFlags);
}

void WindowCommands::ShowWindowCommand(ShowCommand command) { window_.showCommand(command); }

void WindowCommands::FocusWindow() {
  window_.setForeground();
  if (focusPage_) {
    focusPage_();
  }
}

}  // namespace tavrelle
