#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "support/CallLog.h"

namespace tavrelle::test {

struct SetWindowPosCall {
  int32_t x = 0, y = 0, width = 0, height = 0;
  uint32_t flags = 0;
  friend bool operator==(const SetWindowPosCall&, const SetWindowPosCall&) = default;
};

// Outer rectangle of a client rectangle: a frame of 8 (31 on top) for a titled window,
// a 4-pixel border for a sizing border alone, nothing otherwise.
inline Rect AdjustForFrame(Rect client, uint32_t style) {
  if ((style & window_style::kCaption) != 0) {
    return {client.left - 8, client.top - 31, client.right + 8, client.bottom + 8};
  }
  if ((style & window_style::kThickFrame) != 0) {
    return {client.left - 4, client.top - 4, client.right + 4, client.bottom + 4};
  }
  return client;
}

inline MainWindowParams WindowOfOuterSize(int32_t width, int32_t height, uint32_t style) {
  MainWindowParams params;
  params.style = style;
  params.outerWidth = width;
  params.outerHeight = height;
  return params;
}

// Records pointer lock's calls in the shared log.
class FakePointerInput final : public PointerInput {
 public:
  explicit FakePointerInput(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  [[nodiscard]] uint32_t registerRawMouse(bool enabled) override {
    log_->add(std::string("input.registerRawMouse(") + (enabled ? "true" : "false") + ")");
    return registrationError;
  }
  void clipCursor(std::optional<Rect> area) override {
    log_->add(area ? "input.clipCursor(" + std::to_string(area->left) + "," +
                         std::to_string(area->top) + "," + std::to_string(area->right) + "," +
                         std::to_string(area->bottom) + ")"
                   : std::string("input.clipCursor(none)"));
  }
  void setCursorPos(int32_t x, int32_t y) override {
    log_->add("input.setCursorPos(" + std::to_string(x) + "," + std::to_string(y) + ")");
  }
  void showCursor(bool show) override {
    log_->add(std::string("input.showCursor(") + (show ? "true" : "false") + ")");
  }
  [[nodiscard]] Rect primaryScreen() const override { return {0, 0, 1920, 1080}; }
  [[nodiscard]] Rect virtualDesktop() const override { return {-1280, 0, 1920, 1080}; }

  uint32_t registrationError = 0;

 private:
  std::shared_ptr<CallLog> log_;
};

// A window at (100, 50) of the outer size asked for, on a 1920 x 1080 monitor.
class FakeMainWindow final : public MainWindow {
 public:
  static constexpr uint64_t kNativeHandle = 0x4a00007;

  FakeMainWindow(MainWindowParams windowParams, WindowProc proc, std::shared_ptr<CallLog> log)
      : params(std::move(windowParams)),
        input(log),
        proc_(std::move(proc)),
        log_(std::move(log)),
        style_(params.style),
        windowRect_{100, 50, 100 + params.outerWidth, 50 + params.outerHeight} {
    const Rect frame = AdjustForFrame({}, style_);
    clientRect_ = {0, 0, params.outerWidth - frame.width(), params.outerHeight - frame.height()};
  }
  ~FakeMainWindow() override { log_->add("window.destroyed"); }

  [[nodiscard]] uint64_t nativeHandle() const override { return kNativeHandle; }
  void show() override {
    log_->add("window.show");
    ++showCount;
    style_ |= window_style::kVisible;
  }
  void showCommand(ShowCommand command) override { showCommands.push_back(command); }
  void setTitle(const std::string&) override {}
  [[nodiscard]] uint32_t style() const override { return style_; }
  void setStyle(uint32_t style) override {
    styleWrites.push_back(style);
    style_ = style;
  }
  [[nodiscard]] Rect windowRect() const override { return windowRect_; }
  [[nodiscard]] Rect clientRect() const override { return clientRect_; }
  [[nodiscard]] Rect adjustWindowRect(Rect client, uint32_t style) const override {
    return AdjustForFrame(client, style);
  }
  void setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) override {
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
  [[nodiscard]] Rect monitorRectNearest() const override { return {0, 0, 1920, 1080}; }
  void markFullscreen(bool fullscreen) override { fullscreenMarks.push_back(fullscreen); }
  void setForeground() override {
    log_->add("window.setForeground");
    ++foregroundCount;
  }
  [[nodiscard]] bool isActive() const override { return active; }
  void close() override {}
  [[nodiscard]] PointerInput& pointerInput() override { return input; }
  void setTimer(int32_t id, int32_t intervalMs) override {
    log_->add("window.setTimer(" + std::to_string(id) + "," + std::to_string(intervalMs) + ")");
  }
  void killTimer(int32_t id) override { log_->add("window.killTimer(" + std::to_string(id) + ")"); }

  // Hands an event to the window procedure, as the window system does.
  WindowProcResult deliver(const WindowEvent& event) { return proc_(event); }
  // The window's current state, as if the user had moved or maximized it.
  void setState(uint32_t style, Rect windowRect) {
    style_ = style;
    windowRect_ = windowRect;
  }
  void setClientRect(Rect client) { clientRect_ = client; }

  MainWindowParams params;
  int showCount = 0;
  std::vector<ShowCommand> showCommands;
  std::vector<uint32_t> styleWrites;
  std::vector<SetWindowPosCall> windowPosCalls;
  std::vector<bool> fullscreenMarks;
  int foregroundCount = 0;
  bool active = true;      // another application holds the focus when false
  FakePointerInput input;  // before log_, built from the same log

 private:
  WindowProc proc_;
  std::shared_ptr<CallLog> log_;
  uint32_t style_;
  Rect windowRect_;
  Rect clientRect_;
};

class FakeWindowSystem final : public WindowSystem {
 public:
  explicit FakeWindowSystem(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  [[nodiscard]] int screenDpi() override { return dpi; }
  [[nodiscard]] Rect adjustWindowRect(Rect client, uint32_t style) const override {
    return AdjustForFrame(client, style);
  }
  std::unique_ptr<MainWindow> createMainWindow(const MainWindowParams& params,
                                               WindowProc proc) override {
    log_->add("windowSystem.createMainWindow");
    if (failCreate) return nullptr;
    auto created = std::make_unique<FakeMainWindow>(params, std::move(proc), log_);
    window = created.get();
    return created;
  }

  int dpi = 96;
  bool failCreate = false;
  FakeMainWindow* window = nullptr;  // the last window created

 private:
  std::shared_ptr<CallLog> log_;
};

}  // namespace tavrelle::test
