#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/MainWindow.h"
#include "support/CallLog.h"

namespace tavrelle::test {

struct SetWindowPosCall {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t flags = 0;
  friend bool operator==(const SetWindowPosCall&, const SetWindowPosCall&) = default;
};

// Frame thickness around the client area of a window with a title bar.
struct FrameSize {
  int32_t left = 8;
  int32_t top = 31;
  int32_t right = 8;
  int32_t bottom = 8;
};

// Outer rectangle of a client rectangle: the frame for a titled window, a thin border
// for a sizing border alone, nothing otherwise.
Rect AdjustForFrame(Rect client, uint32_t style, const FrameSize& frame);

class FakeMainWindow final : public MainWindow {
 public:
  FakeMainWindow(MainWindowParams params, WindowProc proc, std::shared_ptr<CallLog> log,
                 FrameSize frame, Rect monitor);
  ~FakeMainWindow() override;

  [[nodiscard]] uint64_t nativeHandle() const override { return kNativeHandle; }
  void show() override;
  void showCommand(ShowCommand command) override;
  void setTitle(const std::string& utf8Title) override;
  [[nodiscard]] uint32_t style() const override { return style_; }
  void setStyle(uint32_t style) override;
  [[nodiscard]] uint32_t exStyle() const override { return exStyle_; }
  void setExStyle(uint32_t exStyle) override;
  [[nodiscard]] Rect windowRect() const override { return windowRect_; }
  [[nodiscard]] Rect clientRect() const override { return clientRect_; }
  [[nodiscard]] Rect adjustWindowRect(Rect client, uint32_t style) const override;
  void setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) override;
  [[nodiscard]] Rect monitorRectNearest() const override { return monitor_; }
  void markFullscreen(bool fullscreen) override;
  void setForeground() override;
  void close() override;
  void setTimer(int32_t id, int32_t intervalMs) override;
  void killTimer(int32_t id) override;

  // Hands an event to the window procedure, as the window system does.
  WindowProcResult deliver(const WindowEvent& event) { return proc_(event); }
  // Test set-up: the window's current state, as if the user had moved or maximized it.
  void setState(uint32_t style, Rect windowRect) {
    style_ = style;
    windowRect_ = windowRect;
  }
  void setClientRect(Rect client) { clientRect_ = client; }

  static constexpr uint64_t kNativeHandle = 0x4a00007;

  MainWindowParams params;
  int showCount = 0;
  std::vector<ShowCommand> showCommands;
  std::vector<std::string> titles;
  std::vector<uint32_t> styleWrites;
  std::vector<uint32_t> exStyleWrites;
  std::vector<SetWindowPosCall> windowPosCalls;
  std::vector<bool> fullscreenMarks;
  int foregroundCount = 0;
  int closeCount = 0;

 private:
  WindowProc proc_;
  std::shared_ptr<CallLog> log_;
  FrameSize frame_;
  Rect monitor_;
  uint32_t style_;
  uint32_t exStyle_ = 0;
  Rect windowRect_;
  Rect clientRect_;
};

class FakeWindowSystem final : public WindowSystem {
 public:
  explicit FakeWindowSystem(std::shared_ptr<CallLog> log) : log_(std::move(log)) {}

  [[nodiscard]] int screenDpi() override { return dpi; }
  [[nodiscard]] Rect adjustWindowRect(Rect client, uint32_t style) const override {
    return AdjustForFrame(client, style, frame);
  }
  std::unique_ptr<MainWindow> createMainWindow(const MainWindowParams& params,
                                               WindowProc proc) override;

  int dpi = 96;
  FrameSize frame;
  Rect monitor{0, 0, 1920, 1080};
  bool failCreate = false;
  int createCalls = 0;
  FakeMainWindow* window = nullptr;  // the last window created, while it lives

 private:
  std::shared_ptr<CallLog> log_;
};

}  // namespace tavrelle::test
