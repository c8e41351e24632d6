#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/Xrender.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "visual/CaptureDevice.h"

namespace tavrelle::linux_platform {

class X11ErrorTrap;

// Presents the web view's redirected window on the main window, with a connection of
// its own on the renderer thread.
//
// The main window's child windows (the adopted browser window) are redirected off the
// screen (Composite, manual redirection, held by this connection: it ends with the
// device, and the browser window shows directly again). DAMAGE tells when the browser
// drew a new frame; the frame is copied on the server from the window's named pixmap
// into a back buffer pixmap, and the back buffer onto the main window, either with a
// plain area copy (same depth) or with XRender (any depth). A software stack copies
// faster this way than through GL. Refreshes come from Present's MSC notifications, or
// from a clock at the monitor's rate where Present is missing.
//
// The named pixmap goes stale after the window is resized or mapped again: it is named
// again then; naming fails (BadMatch) while the window is not viewable.
class X11CaptureDevice final : public CaptureDevice {
 public:
  X11CaptureDevice(std::string displayName, Window window);
  ~X11CaptureDevice() override;
  X11CaptureDevice(const X11CaptureDevice&) = delete;
  X11CaptureDevice& operator=(const X11CaptureDevice&) = delete;

  DeviceResult initialize(FrameSize size) override;
  void waitForRefresh(std::chrono::milliseconds timeout) override;
  DeviceResult resize(FrameSize size) override;
  [[nodiscard]] FrameSize backBufferSize() const override { return backSize_; }
  std::optional<CapturedFrame> tryGetNextFrame(const CaptureFramePool& pool) override;
  void copyFrame(uint32_t right, uint32_t bottom) override;
  void clear() override;
  DeviceResult present() override;

  // How frames are copied: "copy-area" or "render" once a frame was seen, else "".
  [[nodiscard]] const char* copyPath() const;

 private:
  enum class CopyPath { Unusable, CopyArea, Render };

  DeviceResult checkExtensions();
  void setUpPacing();
  DeviceResult createBackBuffer(FrameSize size, const char* failureText);
  void releaseBackBuffer();
  void handlePendingEvents();
  void handleEvent(XEvent& event);
  void findSource();
  void watchSource(Window child);
  void forgetSource();
  void nameSourcePixmap();
  void releaseSourcePixmap();
  void armRefresh();
  bool waitForEvents(std::chrono::steady_clock::time_point deadline);

  std::string displayName_;
  Display* display_ = nullptr;
  std::unique_ptr<X11ErrorTrap> trap_;
  Window window_;
  Visual* windowVisual_ = nullptr;
  int windowDepth_ = 0;
  GC gc_ = nullptr;

  int damageEvent_ = 0;
  int damageError_ = 0;
  bool renderAvailable_ = false;
  int presentOpcode_ = -1;
  bool refreshArmed_ = false;
  bool refreshArrived_ = false;
  uint32_t refreshSerial_ = 0;
  std::chrono::nanoseconds refreshInterval_{16'666'667};
  std::chrono::steady_clock::time_point nextTick_;

  Window source_ = None;
  Visual* sourceVisual_ = nullptr;
  int sourceDepth_ = 0;
  int sourceWidth_ = 0;
  int sourceHeight_ = 0;
  Damage damage_ = None;
  bool damaged_ = false;
  bool pixmapStale_ = true;
  Pixmap sourcePixmap_ = None;
  FrameSize sourcePixmapSize_;
  Picture sourcePicture_ = None;
  CopyPath path_ = CopyPath::Unusable;

  Pixmap backBuffer_ = None;
  Picture backPicture_ = None;
  FrameSize backSize_;
};

}  // namespace tavrelle::linux_platform
