#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/MainWindow.h"
#include "visual/CaptureRenderer.h"
#include "visual/CompositionInput.h"
#include "webview/CompositionController.h"

namespace tavrelle {

// What the manager is built with. The window and its pointer services outlive it.
struct VisualHostingSetup {
  MainWindow* window = nullptr;
  WindowPointer* pointer = nullptr;
  std::shared_ptr<webview::CompositionController> compositionController;
  // Writes one line to the page's console ("normal" or "error").
  std::function<void(const std::string& text, const std::string& level)> logToConsole;
  bool useCapture = false;
  CaptureRenderer::DeviceFactory makeCaptureDevice;
};

// Hosts a web view that has no window of its own receiving input: keeps it sized to the
// main window, relays the window's mouse and pointer input and the page's cursor, and
// in visual capture mode presents its frames through the capture renderer. Falls back
// to regular visual mode when capture cannot be set up. Main thread only.
class VisualHostingManager {
 public:
  static constexpr int32_t kRendererLogTimerId = 1001;
  static constexpr int32_t kRendererLogPeriodMs = 100;

  explicit VisualHostingManager(VisualHostingSetup setup);
  ~VisualHostingManager();
  VisualHostingManager(const VisualHostingManager&) = delete;
  VisualHostingManager& operator=(const VisualHostingManager&) = delete;

  // Sets up capture or regular visual mode and starts showing the page's cursor.
  void Init();
  // Fits the web view and the capture to the window's client area.
  void UpdateSize();
  bool HandleMouseMessage(const MouseMessage& message);
  void ForwardPointerMessage(uint32_t message, const PointerInfo& info);
  // Writes the renderer's queued log lines to the page's console.
  void FlushRendererLog();

  [[nodiscard]] bool captureMode() const { return captureMode_; }
  [[nodiscard]] const CompositionInput& input() const { return input_; }

 private:
  webview::VisualStatus InitCapture();
  void InitRegular();
  void StopCapture();
  void OnCursorChanged();
  void Log(const std::string& text, const std::string& level);

  MainWindow& window_;
  WindowPointer& pointer_;
  std::shared_ptr<webview::CompositionController> compositionController_;
  webview::WebViewController& controller_;
  std::function<void(const std::string&, const std::string&)> logToConsole_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  bool captureMode_;
  CompositionInput input_;
  CaptureRenderer renderer_;
  uint64_t captureItem_ = 0;  // the window whose web view is captured
  std::shared_ptr<const CaptureFramePool> framePool_;
};

}  // namespace tavrelle
