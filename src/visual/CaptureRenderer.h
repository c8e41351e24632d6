#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "visual/CaptureDevice.h"

namespace tavrelle {

// Presents the captured web view on the main window from a thread of its own, the
// renderer thread, once per display refresh. The main thread starts and stops it,
// publishes the wanted size, waits once for its device, hands over the frame pool and
// collects its log lines.
class CaptureRenderer {
 public:
  struct LogEntry {
    std::string text;
    std::string level;  // "normal" or "error"
    friend bool operator==(const LogEntry&, const LogEntry&) = default;
  };
  // Makes the device on the renderer thread, for the window.
  using DeviceFactory = std::function<std::unique_ptr<CaptureDevice>(uint64_t window)>;

  static constexpr const char* kInitializedText = "Successfully initialized X11 presentation";
  static constexpr std::chrono::milliseconds kRefreshWaitLimit{1000};

  CaptureRenderer(uint64_t window, DeviceFactory makeDevice);
  ~CaptureRenderer();
  CaptureRenderer(const CaptureRenderer&) = delete;
  CaptureRenderer& operator=(const CaptureRenderer&) = delete;

  // ----- Main thread -----
  void SetPendingSize(int32_t width, int32_t height);
  void Start();
  // Waits (once) until the renderer thread finished its set-up: the device, or null.
  CaptureDevice* WaitForDevice();
  void SetFramePool(std::shared_ptr<const CaptureFramePool> pool);
  // Ends the thread after its current pass and waits for it.
  void Stop();
  std::vector<LogEntry> TakeLogEntries();
  [[nodiscard]] bool threadStarted() const { return thread_.joinable(); }

 private:
  // ----- Renderer thread -----
  void Run();
  bool InitDevice(FrameSize size);
  bool Resize();
  void Draw();
  std::shared_ptr<const CaptureFramePool> GetFramePool();
  void PushLog(std::string text, std::string level);
  void PushFailure(const DeviceFailure& failure);
  [[nodiscard]] FrameSize LoadPendingSize() const;

  const uint64_t window_;
  DeviceFactory makeDevice_;
  std::thread thread_;
  std::atomic<bool> running_{false};

  // Renderer thread only.
  std::unique_ptr<CaptureDevice> device_;
  FrameSize targetSize_;
  FrameSize committedSize_;
  bool hasFrame_ = false;

  std::atomic<uint64_t> pendingSize_{0};  // width in the low half, height in the high half
  std::promise<void> deviceReady_;
  std::future<void> deviceReadyFuture_;
  bool deviceFetched_ = false;
  std::atomic<CaptureDevice*> sharedDevice_{nullptr};

  std::mutex frameLock_;
  std::shared_ptr<const CaptureFramePool> framePool_;
  std::mutex logLock_;
  std::vector<LogEntry> logQueue_;
};

}  // namespace tavrelle
