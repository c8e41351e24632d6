#include "support/FakeWindowSystem.h"

#include <utility>

namespace tavrelle::test {

namespace {

constexpr int32_t kSizingBorder = 4;
constexpr int32_t kInitialLeft = 100;
constexpr int32_t kInitialTop = 50;

}  // namespace

Rect AdjustForFrame(Rect client, uint32_t style, const FrameSize& frame) {
  if ((style & window_style::kCaption) != 0) {
    return {client.left - frame.left, client.top - frame.top, client.right + frame.right,
            client.bottom + frame.bottom};
  }
  if ((style & window_style::kThickFrame) != 0) {
    return {client.left - kSizingBorder, client.top - kSizingBorder, client.right + kSizingBorder,
            client.bottom + kSizingBorder};
  }
  return client;
}

FakeMainWindow::FakeMainWindow(MainWindowParams windowParams, WindowProc proc,
                               std::shared_ptr<CallLog> log, FrameSize frame, Rect monitor)
    : params(std::move(windowParams)),
      proc_(std::move(proc)),
      log_(std::move(log)),
      frame_(frame),
      monitor_(monitor),
      style_(params.style),
      windowRect_{kInitialLeft, kInitialTop, kInitialLeft + params.outerWidth,
                  kInitialTop + params.outerHeight} {
  const Rect noFrame = AdjustForFrame({0, 0, 0, 0}, style_, frame_);
  clientRect_ = {0, 0, params.outerWidth - noFrame.width(), params.outerHeight - noFrame.height()};
}

FakeMainWindow::~FakeMainWindow() { log_->add("window.destroyed"); }

void FakeMainWindow::show() {
  log_->add("window.show");
  ++showCount;
  style_ |= window_style::kVisible;
}

void FakeMainWindow::showCommand(ShowCommand command) {
  log_->add("window.showCommand");
  showCommands.push_back(command);
}

void FakeMainWindow::setTitle(const std::string& utf8Title) {
  log_->add("window.setTitle");
  titles.push_back(utf8Title);
}

void FakeMainWindow::setStyle(uint32_t style) {
  log_->add("window.setStyle");
  styleWrites.push_back(style);
  style_ = style;
}

void FakeMainWindow::setExStyle(uint32_t exStyle) {
  log_->add("window.setExStyle");
  exStyleWrites.push_back(exStyle);
  exStyle_ = exStyle;
}

Rect FakeMainWindow::adjustWindowRect(Rect client, uint32_t style) const {
  return AdjustForFrame(client, style, frame_);
}

void FakeMainWindow::setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height,
                                  uint32_t flags) {
  log_->add("window.setWindowPos");
  windowPosCalls.push_back({x, y, width, height, flags});
  if ((flags & window_pos::kNoMove) == 0) {
    windowRect_ = {x, y, x + windowRect_.width(), y + windowRect_.height()};
  }
  if ((flags & window_pos::kNoSize) == 0) {
    windowRect_.right = windowRect_.left + width;
    windowRect_.bottom = windowRect_.top + height;
  }
}

void FakeMainWindow::markFullscreen(bool fullscreen) {
  log_->add("window.markFullscreen");
  fullscreenMarks.push_back(fullscreen);
}

void FakeMainWindow::setForeground() {
  log_->add("window.setForeground");
  ++foregroundCount;
}

void FakeMainWindow::close() {
  log_->add("window.close");
  ++closeCount;
}

void FakeMainWindow::setTimer(int32_t id, int32_t intervalMs) {
  log_->add("window.setTimer " + std::to_string(id) + " " + std::to_string(intervalMs));
}

void FakeMainWindow::killTimer(int32_t id) { log_->add("window.killTimer " + std::to_string(id)); }

std::unique_ptr<MainWindow> FakeWindowSystem::createMainWindow(const MainWindowParams& params,
                                                               WindowProc proc) {
  log_->add("windowSystem.createMainWindow");
  ++createCalls;
  if (failCreate) {
    return nullptr;
  }
  auto created = std::make_unique<FakeMainWindow>(params, std::move(proc), log_, frame, monitor);
  window = created.get();
  return created;
}

}  // namespace tavrelle::test
