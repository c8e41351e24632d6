#include "platform/linux/X11CaptureDevice.h"

#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xpresent.h>
#include <X11/extensions/Xrandr.h>
#include <poll.h>
#include <pthread.h>

#include "platform/linux/X11ErrorTrap.h"

namespace tavrelle::linux_platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFailed = static_cast<int32_t>(0x80004005);
constexpr auto kNotSupported = static_cast<int32_t>(0x80004001);
constexpr short kDefaultRefreshRate = 60;  // Xvfb reports a rate of 0

DeviceFailure Failure(const char* text, int32_t code) { return DeviceFailure{text, code}; }

XRenderPictFormat* FormatFor(Display* display, Visual* visual, int depth) {
  if (XRenderPictFormat* format = XRenderFindVisualFormat(display, visual)) return format;
  return XRenderFindStandardFormat(display, depth == 32 ? PictStandardARGB32 : PictStandardRGB24);
}

}  // namespace

X11CaptureDevice::X11CaptureDevice(std::string displayName, Window window)
    : displayName_(std::move(displayName)), window_(window) {
  pthread_setname_np(pthread_self(), "Renderer thread");
}

X11CaptureDevice::~X11CaptureDevice() {
  if (display_ == nullptr) return;
  forgetSource();
  releaseBackBuffer();
  if (gc_ != nullptr) XFreeGC(display_, gc_);
  // Closing the connection also ends the redirection: the browser window shows again.
  XSync(display_, False);
  trap_.reset();
  XCloseDisplay(display_);
}

DeviceResult X11CaptureDevice::initialize(FrameSize size) {
  display_ = XOpenDisplay(displayName_.empty() ? nullptr : displayName_.c_str());
  if (display_ == nullptr) return Failure("Failed to open the X display (", kFailed);
  trap_ = std::make_unique<X11ErrorTrap>(display_);
  if (DeviceResult failure = checkExtensions()) return failure;
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, window_, &attributes) == 0 || trap_->sync() != 0) {
    return Failure("Failed to read the main window (", kFailed);
  }
  windowVisual_ = attributes.visual;
  windowDepth_ = attributes.depth;
  XCompositeRedirectSubwindows(display_, window_, CompositeRedirectManual);
  if (int error = trap_->sync()) return Failure("Failed to redirect the web view window (", error);
  XSelectInput(display_, window_, SubstructureNotifyMask);
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XSetSubwindowMode(display_, gc_, IncludeInferiors);
  XSetForeground(display_, gc_, BlackPixel(display_, DefaultScreen(display_)));
  setUpPacing();
  if (DeviceResult failure = createBackBuffer(size, "Failed to create back buffer pixmap (")) {
    return failure;
  }
  findSource();
  return std::nullopt;
}

DeviceResult X11CaptureDevice::checkExtensions() {
  int event = 0;
  int error = 0;
  int major = 0;
  int minor = 4;
  // Naming a window's pixmap needs Composite 0.2.
  if (!XCompositeQueryExtension(display_, &event, &error) ||
      XCompositeQueryVersion(display_, &major, &minor) == 0 || (major == 0 && minor < 2)) {
    return Failure("Failed to find the Composite extension (", kNotSupported);
  }
  if (!XDamageQueryExtension(display_, &damageEvent_, &damageError_)) {
    return Failure("Failed to find the DAMAGE extension (", kNotSupported);
  }
  major = 1;
  minor = 1;
  XDamageQueryVersion(display_, &major, &minor);
  renderAvailable_ = XRenderQueryExtension(display_, &event, &error) != 0;
  return std::nullopt;
}

void X11CaptureDevice::setUpPacing() {
  int event = 0;
  int error = 0;
  if (XPresentQueryExtension(display_, &presentOpcode_, &event, &error)) {
    XPresentSelectInput(display_, window_, PresentCompleteNotifyMask);
  } else {
    presentOpcode_ = -1;
  }
  short rate = 0;
  if (XRRScreenConfiguration* config = XRRGetScreenInfo(display_, window_)) {
    rate = XRRConfigCurrentRate(config);
    XRRFreeScreenConfigInfo(config);
  }
  if (rate <= 0) rate = kDefaultRefreshRate;
  refreshInterval_ = std::chrono::nanoseconds(1'000'000'000 / rate);
  nextTick_ = Clock::now() + refreshInterval_;
}

DeviceResult X11CaptureDevice::createBackBuffer(FrameSize size, const char* failureText) {
  // A pixmap of no pixels is refused by the server (BadValue).
  Pixmap pixmap = XCreatePixmap(display_, window_, size.width, size.height,
                                static_cast<unsigned int>(windowDepth_));
  if (int error = trap_->sync()) return Failure(failureText, error);
  backBuffer_ = pixmap;
  backSize_ = size;
  XFillRectangle(display_, backBuffer_, gc_, 0, 0, size.width, size.height);
  if (renderAvailable_) {
    backPicture_ = XRenderCreatePicture(
        display_, backBuffer_, FormatFor(display_, windowVisual_, windowDepth_), 0, nullptr);
  }
  return std::nullopt;
}

void X11CaptureDevice::releaseBackBuffer() {
  if (backPicture_ != None) XRenderFreePicture(display_, backPicture_);
  if (backBuffer_ != None) XFreePixmap(display_, backBuffer_);
  backPicture_ = None;
  backBuffer_ = None;
  backSize_ = FrameSize{};
}

DeviceResult X11CaptureDevice::resize(FrameSize size) {
  releaseBackBuffer();
  return createBackBuffer(size, "Failed to resize back buffer pixmap (");
}

// ----- Pacing -----

void X11CaptureDevice::waitForRefresh(std::chrono::milliseconds timeout) {
  const Clock::time_point deadline = Clock::now() + timeout;
  if (presentOpcode_ >= 0) {
    armRefresh();
    refreshArrived_ = false;
    while (!refreshArrived_) {
      handlePendingEvents();
      if (refreshArrived_ || !waitForEvents(deadline)) break;
    }
    return;
  }
  const Clock::time_point until = std::min(nextTick_, deadline);
  while (Clock::now() < until) {
    handlePendingEvents();
    waitForEvents(until);
  }
  nextTick_ += refreshInterval_;
  if (nextTick_ < Clock::now()) nextTick_ = Clock::now() + refreshInterval_;
}

// One notification at the next vertical blank, asked for again after each arrived.
void X11CaptureDevice::armRefresh() {
  if (refreshArmed_) return;
  XPresentNotifyMSC(display_, window_, ++refreshSerial_, 0, 1, 0);
  refreshArmed_ = true;
}

bool X11CaptureDevice::waitForEvents(Clock::time_point deadline) {
  XFlush(display_);
  if (XPending(display_) > 0) return true;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  pollfd connection{ConnectionNumber(display_), POLLIN, 0};
  return poll(&connection, 1, static_cast<int>(left.count())) > 0;
}

void X11CaptureDevice::handlePendingEvents() {
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handleEvent(event);
  }
}

void X11CaptureDevice::handleEvent(XEvent& event) {
  if (event.type == damageEvent_ + XDamageNotify) {
    if (reinterpret_cast<const XDamageNotifyEvent&>(event).drawable == source_) damaged_ = true;
    return;
  }
  switch (event.type) {
    case GenericEvent:
      if (event.xcookie.extension == presentOpcode_ && XGetEventData(display_, &event.xcookie)) {
        if (event.xcookie.evtype == PresentCompleteNotify) {
          refreshArmed_ = false;
          refreshArrived_ = true;
        }
        XFreeEventData(display_, &event.xcookie);
      }
      return;
    case ConfigureNotify: {
      const XConfigureEvent& configure = event.xconfigure;
      if (configure.window != source_) return;
      if (configure.width != sourceWidth_ || configure.height != sourceHeight_) {
        sourceWidth_ = configure.width;
        sourceHeight_ = configure.height;
        pixmapStale_ = true;
        damaged_ = true;
      }
      return;
    }
    case MapNotify:
      if (event.xmap.window == source_) {
        pixmapStale_ = true;
        damaged_ = true;
      } else {
        findSource();
      }
      return;
    case UnmapNotify:
      if (event.xunmap.window == source_) pixmapStale_ = true;
      return;
    case DestroyNotify:
      if (event.xdestroywindow.window == source_) forgetSource();
      return;
    case ReparentNotify:
      if (event.xreparent.window == source_ && event.xreparent.parent != window_) {
        forgetSource();
      } else if (event.xreparent.parent == window_) {
        findSource();
      }
      return;
    default:
      return;
  }
}

// ----- The captured window -----

// The browser's window is the main window's one input-output child.
void X11CaptureDevice::findSource() {
  Window root = None;
  Window parent = None;
  Window* children = nullptr;
  unsigned int count = 0;
  Window found = None;
  if (XQueryTree(display_, window_, &root, &parent, &children, &count) != 0) {
    for (unsigned int i = 0; i < count; ++i) {
      XWindowAttributes attributes{};
      if (XGetWindowAttributes(display_, children[i], &attributes) != 0 &&
          attributes.c_class == InputOutput) {
        found = children[i];
      }
    }
    if (children != nullptr) XFree(children);
  }
  trap_->sync();  // a child may have gone meanwhile
  if (found == source_) return;
  forgetSource();
  if (found != None) watchSource(found);
}

void X11CaptureDevice::watchSource(Window child) {
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, child, &attributes) == 0) return;
  source_ = child;
  sourceVisual_ = attributes.visual;
  sourceDepth_ = attributes.depth;
  sourceWidth_ = attributes.width;
  sourceHeight_ = attributes.height;
  damage_ = XDamageCreate(display_, child, XDamageReportNonEmpty);
  if (sourceDepth_ == windowDepth_) {
    path_ = CopyPath::CopyArea;
  } else {
    path_ = renderAvailable_ ? CopyPath::Render : CopyPath::Unusable;
  }
  pixmapStale_ = true;
  damaged_ = true;
  if (trap_->sync() != 0) forgetSource();
}

void X11CaptureDevice::forgetSource() {
  releaseSourcePixmap();
  if (damage_ != None) XDamageDestroy(display_, damage_);
  trap_->sync();  // the damage went with a destroyed window
  damage_ = None;
  source_ = None;
  path_ = CopyPath::Unusable;
  damaged_ = false;
}

void X11CaptureDevice::nameSourcePixmap() {
  releaseSourcePixmap();
  Pixmap pixmap = XCompositeNameWindowPixmap(display_, source_);
  // BadMatch while the window is not viewable: it stays stale and is named later.
  if (trap_->sync() != 0) return;
  Window root = None;
  int x = 0;
  int y = 0;
  unsigned int width = 0;
  unsigned int height = 0;
  unsigned int border = 0;
  unsigned int depth = 0;
  XGetGeometry(display_, pixmap, &root, &x, &y, &width, &height, &border, &depth);
  sourcePixmap_ = pixmap;
  sourcePixmapSize_ = FrameSize{width, height};
  pixmapStale_ = false;
  if (path_ == CopyPath::Render) {
    sourcePicture_ = XRenderCreatePicture(
        display_, pixmap, FormatFor(display_, sourceVisual_, sourceDepth_), 0, nullptr);
  }
}

void X11CaptureDevice::releaseSourcePixmap() {
  if (sourcePicture_ != None) XRenderFreePicture(display_, sourcePicture_);
  if (sourcePixmap_ != None) XFreePixmap(display_, sourcePixmap_);
  sourcePicture_ = None;
  sourcePixmap_ = None;
}

std::optional<CapturedFrame> X11CaptureDevice::tryGetNextFrame(const CaptureFramePool& pool) {
  static_cast<void>(pool);
  handlePendingEvents();
  if (source_ == None) findSource();
  if (source_ == None || !damaged_) return std::nullopt;
  damaged_ = false;
  XDamageSubtract(display_, damage_, None, None);
  if (pixmapStale_) nameSourcePixmap();
  CapturedFrame frame;
  frame.contentWidth = sourceWidth_;
  frame.contentHeight = sourceHeight_;
  frame.hasSurface = sourcePixmap_ != None && path_ != CopyPath::Unusable;
  frame.surfaceSize = sourcePixmapSize_;
  return frame;
}

// ----- Copies -----

void X11CaptureDevice::copyFrame(uint32_t right, uint32_t bottom) {
  if (sourcePixmap_ == None || backBuffer_ == None) return;
  if (path_ == CopyPath::CopyArea) {
    XCopyArea(display_, sourcePixmap_, backBuffer_, gc_, 0, 0, right, bottom, 0, 0);
  } else if (path_ == CopyPath::Render) {
    XRenderComposite(display_, PictOpSrc, sourcePicture_, None, backPicture_, 0, 0, 0, 0, 0, 0,
                     right, bottom);
  }
}

void X11CaptureDevice::clear() {
  XFillRectangle(display_, window_, gc_, 0, 0, backSize_.width, backSize_.height);
  XFlush(display_);
}

DeviceResult X11CaptureDevice::present() {
  if (backBuffer_ == None) return Failure("Failed to present the back buffer in draw (", kFailed);
  XCopyArea(display_, backBuffer_, window_, gc_, 0, 0, backSize_.width, backSize_.height, 0, 0);
  XFlush(display_);
  trap_->take();  // a source that vanished mid-copy is noticed by its events
  return std::nullopt;
}

const char* X11CaptureDevice::copyPath() const {
  switch (path_) {
    case CopyPath::CopyArea:
      return "copy-area";
    case CopyPath::Render:
      return "render";
    case CopyPath::Unusable:
      break;
  }
  return "";
}

}  // namespace tavrelle::linux_platform

#include "platform/linux/X11CaptureDeviceFactory.h"

namespace tavrelle::linux_platform {

std::unique_ptr<CaptureDevice> MakeX11CaptureDevice(const std::string& displayName,
                                                    uint64_t window) {
  return std::make_unique<X11CaptureDevice>(displayName, static_cast<Window>(window));
}

}  // namespace tavrelle::linux_platform
