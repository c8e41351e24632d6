#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/WindowPointer.h"
#include "support/CallLog.h"
#include "support/FakeWindowSystem.h"
#include "visual/CaptureDevice.h"
#include "webview/CompositionController.h"

namespace tavrelle::test {

// The pointer side of an 800 x 600 client area whose origin is at (100, 50) on the screen.
// The main window side is FakeMainWindow's.
class FakePointer final : public WindowPointer {
 public:
  [[nodiscard]] Rect clientRect() const override { return client; }
  [[nodiscard]] Point screenToClient(Point screen) const override {
    return Point{screen.x - 100, screen.y - 50};
  }
  void trackMouseLeave(bool track) override { leaveTracking.push_back(track); }
  [[nodiscard]] bool hasCapture() const override { return captured; }
  void setCapture() override { captured = true; }
  void releaseCapture() override { captured = false; }
  void setCursor(SystemCursor cursor) override { cursors.push_back(cursor); }

  Rect client{0, 0, 800, 600};
  std::vector<bool> leaveTracking;
  bool captured = false;
  std::vector<SystemCursor> cursors;
};

class FakeBoundsController final : public webview::WebViewController {
 public:
  webview::WebView& get_CoreWebView2() override { throw std::logic_error("no web view"); }
  void put_Bounds(Rect rect) override { bounds.push_back(rect); }
  void put_IsVisible(bool) override {}
  void MoveFocus(webview::MoveFocusReason) override {}
  void NotifyParentWindowPositionChanged() override {}
  void add_AcceleratorKeyPressed(
      webview::EventHandler<webview::AcceleratorKeyPressedEventArgs>) override {}

  std::vector<Rect> bounds;
};

struct SentMouseInput {
  uint32_t kind = 0;
  uint32_t keys = 0;
  int32_t mouseData = 0;
  Point point;
  friend bool operator==(const SentMouseInput&, const SentMouseInput&) = default;
};

class FakeCompositionController final : public webview::CompositionController {
 public:
  webview::WebViewController& controller() override { return controllerPart; }
  webview::VisualStatus put_RootVisualTarget(webview::VisualTarget target) override {
    targets.push_back(target);
    return target == webview::VisualTarget::Capture ? captureStatus : windowStatus;
  }
  void SendMouseInput(uint32_t kind, uint32_t keys, int32_t mouseData, Point point) override {
    mouse.push_back({kind, keys, mouseData, point});
  }
  void SendPointerInput(uint32_t kind, const PointerInfo&) override { pointer.push_back(kind); }
  [[nodiscard]] std::string get_Cursor() const override { return cursor; }
  void add_CursorChanged(webview::SimpleEventHandler handler) override {
    cursorChanged.push_back(std::move(handler));
  }
  void changeCursor(std::string css) {
    cursor = std::move(css);
    for (const auto& handler : cursorChanged) handler();
  }

  FakeBoundsController controllerPart;
  std::vector<webview::VisualTarget> targets;
  webview::VisualStatus captureStatus = webview::kVisualOk;
  webview::VisualStatus windowStatus = webview::kVisualOk;
  std::vector<SentMouseInput> mouse;
  std::vector<uint32_t> pointer;
  std::string cursor = "default";
  std::vector<webview::SimpleEventHandler> cursorChanged;
};

// What the renderer thread did with its device, shared with the test's thread.
struct DeviceRecord {
  std::mutex lock;
  std::condition_variable changed;
  std::vector<FrameSize> resizes;
  std::vector<std::pair<uint32_t, uint32_t>> copies;
  int clears = 0;
  int presents = 0;
  int passes = 0;
  bool destroyed = false;
  // Frames the device hands out, one per pass, in order.
  std::vector<CapturedFrame> frames;
  std::optional<DeviceFailure> initFailure;
  std::optional<DeviceFailure> resizeFailure;

  // Waits until the predicate holds (lock held while it is checked); false after 30 s.
  template <typename Predicate>
  bool waitFor(Predicate predicate) {
    std::unique_lock guard(lock);
    return changed.wait_for(guard, std::chrono::seconds(30), [&] { return predicate(); });
  }
  template <typename Change>
  auto update(Change change) {
    std::lock_guard guard(lock);
    changed.notify_all();
    return change();
  }
};

class FakeCaptureDevice final : public CaptureDevice {
 public:
  explicit FakeCaptureDevice(DeviceRecord& record) : record_(record) {}
  ~FakeCaptureDevice() override {
    record_.update([&] { record_.destroyed = true; });
  }
  DeviceResult initialize(FrameSize size) override {
    std::lock_guard guard(record_.lock);
    if (record_.initFailure) return record_.initFailure;
    // As a real back buffer: none of no pixels.
    if (size.width == 0 || size.height == 0) return DeviceFailure{"Failed to create (", 2};
    size_ = size;
    return std::nullopt;
  }
  void waitForRefresh(std::chrono::milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  DeviceResult resize(FrameSize size) override {
    return record_.update([&]() -> DeviceResult {
      record_.resizes.push_back(size);
      if (record_.resizeFailure) return record_.resizeFailure;
      size_ = size;
      return std::nullopt;
    });
  }
  [[nodiscard]] FrameSize backBufferSize() const override { return size_; }
  std::optional<CapturedFrame> tryGetNextFrame(const CaptureFramePool&) override {
    return record_.update([&]() -> std::optional<CapturedFrame> {
      ++record_.passes;
      if (record_.frames.empty()) return std::nullopt;
      CapturedFrame frame = record_.frames.front();
      record_.frames.erase(record_.frames.begin());
      return frame;
    });
  }
  void copyFrame(uint32_t right, uint32_t bottom) override {
    record_.update([&] { record_.copies.emplace_back(right, bottom); });
  }
  void clear() override {
    record_.update([&] { ++record_.clears; });
  }
  DeviceResult present() override {
    record_.update([&] { ++record_.presents; });
    return std::nullopt;
  }

 private:
  DeviceRecord& record_;
  FrameSize size_;
};

}  // namespace tavrelle::test
