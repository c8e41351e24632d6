#include "visual/CaptureRenderer.h"

#include <algorithm>
#include <utility>

namespace tavrelle {

namespace {

uint64_t PackSize(uint32_t width, uint32_t height) {
  return static_cast<uint64_t>(width) | (static_cast<uint64_t>(height) << 32);
}

constexpr uint32_t Smallest(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return std::min({a, b, c, d});
}

}  // namespace

CaptureRenderer::CaptureRenderer(uint64_t window, DeviceFactory makeDevice)
    : window_(window),
      makeDevice_(std::move(makeDevice)),
      deviceReadyFuture_(deviceReady_.get_future()) {}

CaptureRenderer::~CaptureRenderer() { Stop(); }

void CaptureRenderer::SetPendingSize(int32_t width, int32_t height) {
  pendingSize_.exchange(PackSize(static_cast<uint32_t>(width), static_cast<uint32_t>(height)));
}

FrameSize CaptureRenderer::LoadPendingSize() const {
  const uint64_t packed = pendingSize_.load();
  return FrameSize{static_cast<uint32_t>(packed), static_cast<uint32_t>(packed >> 32)};
}

void CaptureRenderer::Start() {
  running_.store(true);
  thread_ = std::thread([this] { Run(); });
}

CaptureDevice* CaptureRenderer::WaitForDevice() {
  if (!deviceFetched_) {
    deviceReadyFuture_.wait();
    deviceFetched_ = true;
  }
  return sharedDevice_.load();
}

void CaptureRenderer::SetFramePool(std::shared_ptr<const CaptureFramePool> pool) {
  std::lock_guard lock(frameLock_);
  framePool_ = std::move(pool);
}

void CaptureRenderer::Stop() {
  running_.store(false);
  if (thread_.joinable()) thread_.join();
}

std::vector<CaptureRenderer::LogEntry> CaptureRenderer::TakeLogEntries() {
  std::lock_guard lock(logLock_);
  return std::exchange(logQueue_, {});
}

std::shared_ptr<const CaptureFramePool> CaptureRenderer::GetFramePool() {
  std::lock_guard lock(frameLock_);
  return framePool_;
}

void CaptureRenderer::PushLog(std::string text, std::string level) {
  std::lock_guard lock(logLock_);
  logQueue_.push_back(LogEntry{std::move(text), std::move(level)});
}

void CaptureRenderer::PushFailure(const DeviceFailure& failure) {
  PushLog(failure.text + std::to_string(failure.code) + ")", "error");
}

void CaptureRenderer::Run() {
  const bool ok = InitDevice(LoadPendingSize());
  sharedDevice_.store(ok ? device_.get() : nullptr);
  deviceReady_.set_value();
  if (ok) {
    while (running_.load()) {
      targetSize_ = LoadPendingSize();
      device_->waitForRefresh(kRefreshWaitLimit);
      const bool keepSize = targetSize_ == FrameSize{} || targetSize_ == committedSize_;
      if (keepSize || Resize()) Draw();
    }
  }
  device_.reset();
}

bool CaptureRenderer::InitDevice(FrameSize size) {
  targetSize_ = committedSize_ = size;
  device_ = makeDevice_ ? makeDevice_(window_) : nullptr;
  if (!device_) {
    PushFailure(DeviceFailure{"Failed to create the presentation device (", -2147467259});
    return false;
  }
  if (DeviceResult failure = device_->initialize(size)) {
    PushFailure(*failure);
    return false;
  }
  PushLog(kInitializedText, "normal");
  return true;
}

// A failed resize keeps the committed size, so the next pass tries again.
bool CaptureRenderer::Resize() {
  if (DeviceResult failure = device_->resize(targetSize_)) {
    PushFailure(*failure);
    return false;
  }
  committedSize_ = targetSize_;
  return true;
}

void CaptureRenderer::Draw() {
  if (std::shared_ptr<const CaptureFramePool> pool = GetFramePool()) {
    if (std::optional<CapturedFrame> frame = device_->tryGetNextFrame(*pool)) {
      if (frame->hasSurface && frame->contentWidth > 0 && frame->contentHeight > 0) {
        const FrameSize buffer = device_->backBufferSize();
        const uint32_t right =
            Smallest(targetSize_.width, static_cast<uint32_t>(frame->contentWidth), buffer.width,
                     frame->surfaceSize.width);
        const uint32_t bottom =
            Smallest(targetSize_.height, static_cast<uint32_t>(frame->contentHeight), buffer.height,
                     frame->surfaceSize.height);
        device_->copyFrame(right, bottom);
        hasFrame_ = true;
      }
    }
  }
  if (!hasFrame_) {
    device_->clear();
    return;
  }
  if (DeviceResult failure = device_->present()) PushFailure(*failure);
}

}  // namespace tavrelle
