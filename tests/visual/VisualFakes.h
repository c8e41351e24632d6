#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/MainWindow.h"
#include "platform/WindowPointer.h"
#include "support/CallLog.h"
#include "support/FakeWebViewRuntime.h"
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
  void setCursor(SystemCursor) override {}

  Rect client{0, 0, 800, 600};
  std::vector<bool> leaveTracking;
  bool captured = false;
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
    return target == webview::VisualTarget::Capture ? captureStatus : webview::kVisualOk;
  }
  void SendMouseInput(uint32_t kind, uint32_t keys, int32_t mouseData, Point point) override {
    mouse.push_back({kind, keys, mouseData, point});
  }
  void SendPointerInput(uint32_t kind, const PointerInfo&) override { pointer.push_back(kind); }
  [[nodiscard]] std::string get_Cursor() const override { return "default"; }
  void add_CursorChanged(webview::SimpleEventHandler) override {}

  FakeWebViewController controllerPart{std::make_shared<CallLog>()};  // keeps the bounds
  std::vector<webview::VisualTarget> targets;
  webview::VisualStatus captureStatus = webview::kVisualOk;
  std::vector<SentMouseInput> mouse;
  std::vector<uint32_t> pointer;
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
