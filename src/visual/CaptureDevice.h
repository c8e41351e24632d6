#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tavrelle {

struct FrameSize {
  uint32_t width = 0;
  uint32_t height = 0;
  friend bool operator==(const FrameSize&, const FrameSize&) = default;
};

// Where captured frames come from: the window whose child windows show the web view,
// at the size the host wants. Replaced whole when the size changes.
struct CaptureFramePool {
  uint64_t sourceWindow = 0;
  FrameSize size;
};

// One new frame of the captured window.
struct CapturedFrame {
  int32_t contentWidth = 0;  // the size the web view drew
  int32_t contentHeight = 0;
  bool hasSurface = false;  // false: the frame's pixels cannot be read (window unviewable)
  FrameSize surfaceSize;
};

// A failed step: the text of the renderer's log line and its code.
struct DeviceFailure {
  std::string text;  // ends with "(": the code and ")" follow
  int32_t code = 0;
};
using DeviceResult = std::optional<DeviceFailure>;

// The graphics side of the capture renderer: presents frames on the main window. Made,
// used and destroyed on the renderer thread only.
class CaptureDevice {
 public:
  virtual ~CaptureDevice() = default;

  // Connects, prepares the presentation on the window and a back buffer of `size`.
  virtual DeviceResult initialize(FrameSize size) = 0;
  // Blocks until the display's next refresh, at most `timeout`.
  virtual void waitForRefresh(std::chrono::milliseconds timeout) = 0;
  // A back buffer of the new size.
  virtual DeviceResult resize(FrameSize size) = 0;
  [[nodiscard]] virtual FrameSize backBufferSize() const = 0;
  // The frame drawn since the last call, if any.
  virtual std::optional<CapturedFrame> tryGetNextFrame(const CaptureFramePool& pool) = 0;
  // Copies the top-left right x bottom pixels of the last frame into the back buffer.
  virtual void copyFrame(uint32_t right, uint32_t bottom) = 0;
  // Fills the window with transparent black (before the first frame).
  virtual void clear() = 0;
  // Shows the back buffer on the window.
  virtual DeviceResult present() = 0;
};

}  // namespace tavrelle
