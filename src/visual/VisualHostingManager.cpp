#include "visual/VisualHostingManager.h"

#include <utility>

#include "visual/CursorMapping.h"

namespace tavrelle {

namespace {

constexpr const char* kVisualHostingPrefix = "[Visual Hosting] ";
constexpr const char* kRendererPrefix = "[Renderer thread] ";

std::string InParentheses(int32_t code) { return "(" + std::to_string(code) + ")"; }

}  // namespace

VisualHostingManager::VisualHostingManager(VisualHostingSetup setup)
    : window_(*setup.window),
      pointer_(*setup.pointer),
      compositionController_(std::move(setup.compositionController)),
      controller_(compositionController_->controller()),
      logToConsole_(std::move(setup.logToConsole)),
      captureMode_(setup.useCapture),
      input_(pointer_, *compositionController_),
      renderer_(window_.nativeHandle(), std::move(setup.makeCaptureDevice)) {}

VisualHostingManager::~VisualHostingManager() {
  if (captureMode_) StopCapture();
}

void VisualHostingManager::Init() {
  UpdateSize();
  if (captureMode_) {
    renderer_.SetPendingSize(width_, height_);
    renderer_.Start();
    const webview::VisualStatus status = InitCapture();
    FlushRendererLog();
    if (status == webview::kVisualOk) {
      Log("Successfully initialized visual capture mode", "normal");
      window_.setTimer(kRendererLogTimerId, kRendererLogPeriodMs);
      compositionController_->add_CursorChanged([this] { OnCursorChanged(); });
      return;
    }
    Log("Failed to initialize visual capture mode " + InParentheses(status) +
            ", reverting to regular visual mode",
        "error");
    StopCapture();
    // Lines the renderer queued after the first flush would otherwise never be seen.
    FlushRendererLog();
    captureMode_ = false;
  }
  InitRegular();
}

void VisualHostingManager::InitRegular() {
  const webview::VisualStatus status =
      compositionController_->put_RootVisualTarget(webview::VisualTarget::Window);
  if (status != webview::kVisualOk) {
    Log("Failed to create WebView visual " + InParentheses(status), "error");
    return;
  }
  Log("Successfully initialized regular visual mode", "normal");
  compositionController_->add_CursorChanged([this] { OnCursorChanged(); });
}

webview::VisualStatus VisualHostingManager::InitCapture() {
  const webview::VisualStatus status =
      compositionController_->put_RootVisualTarget(webview::VisualTarget::Capture);
  if (status != webview::kVisualOk) {
    Log("Failed to set root visual target " + InParentheses(status), "error");
    return status;
  }
  captureItem_ = window_.nativeHandle();
  if (renderer_.WaitForDevice() == nullptr) {
    Log("Failed to obtain X11 presentation device", "error");
    return webview::kVisualFailed;
  }
  framePool_ = std::make_shared<const CaptureFramePool>(CaptureFramePool{
      captureItem_, FrameSize{static_cast<uint32_t>(width_), static_cast<uint32_t>(height_)}});
  renderer_.SetFramePool(framePool_);
  return webview::kVisualOk;
}

void VisualHostingManager::StopCapture() {
  renderer_.Stop();
  framePool_.reset();
  renderer_.SetFramePool(nullptr);
  captureItem_ = 0;
}

void VisualHostingManager::UpdateSize() {
  const Rect client = window_.clientRect();
  controller_.put_Bounds(client);
  width_ = client.width();
  height_ = client.height();
  if (!captureMode_ || width_ < 1 || height_ < 1) return;
  renderer_.SetPendingSize(width_, height_);
  if (framePool_) {
    framePool_ = std::make_shared<const CaptureFramePool>(CaptureFramePool{
        captureItem_, FrameSize{static_cast<uint32_t>(width_), static_cast<uint32_t>(height_)}});
    renderer_.SetFramePool(framePool_);
  }
}

bool VisualHostingManager::HandleMouseMessage(const MouseMessage& message) {
  return input_.HandleMouseMessage(message);
}

void VisualHostingManager::ForwardPointerMessage(uint32_t message, const PointerInfo& info) {
  input_.ForwardPointerMessage(message, info);
}

void VisualHostingManager::FlushRendererLog() {
  for (const CaptureRenderer::LogEntry& entry : renderer_.TakeLogEntries()) {
    logToConsole_(kRendererPrefix + entry.text, entry.level);
  }
}

void VisualHostingManager::OnCursorChanged() {
  pointer_.setCursor(SystemCursorForCss(compositionController_->get_Cursor()));
}

void VisualHostingManager::Log(const std::string& text, const std::string& level) {
  logToConsole_(kVisualHostingPrefix + text, level);
}

}  // namespace tavrelle
