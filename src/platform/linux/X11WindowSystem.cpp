#include "platform/linux/X11WindowSystem.h"

#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "platform/linux/X11EmbeddedBrowserWindow.h"
#include "platform/linux/X11MainWindow.h"
#include "platform/linux/X11Properties.h"
#include "platform/linux/X11ScreenDpi.h"

namespace tavrelle::linux_platform {

namespace {

// While set, the next X error is recorded here instead of being handled.
int* trappedError = nullptr;

// Windows of other clients (the browser's) can vanish between a request and its
// processing; such errors are expected. Xlib's default handler would end the process.
int OnXError(Display* display, XErrorEvent* error) {
  if (trappedError != nullptr && *trappedError == 0) {
    *trappedError = error->error_code;
    return 0;
  }
  if (error->error_code == BadWindow || error->error_code == BadMatch ||
      error->error_code == BadDrawable) {
    return 0;
  }
  std::array<char, 256> text{};
  XGetErrorText(display, error->error_code, text.data(), static_cast<int>(text.size()));
  std::fprintf(stderr, "X11 error: %s (request %d.%d)\n", text.data(), error->request_code,
               error->minor_code);
  return 0;
}

constexpr uint32_t kNoXInput2 = BadRequest;

int QueryXInputOpcode(Display* display) {
  int opcode = 0;
  int event = 0;
  int error = 0;
  if (!XQueryExtension(display, "XInputExtension", &opcode, &event, &error)) return -1;
  // Announcing 2.1 keeps raw motion coming while another client grabs the pointer (the
  // browser does for the page's own pointer lock); a 2.0 client gets none then. A 2.0
  // server answers 2.0, which still serves.
  int major = 2;
  int minor = 1;
  if (XIQueryVersion(display, &major, &minor) != Success) return -1;
  return opcode;
}

template <typename T>
void Erase(std::vector<T*>& items, T* item) {
  items.erase(std::remove(items.begin(), items.end(), item), items.end());
}

}  // namespace

std::unique_ptr<X11WindowSystem> X11WindowSystem::connect(PollEventLoop& loop,
                                                          const std::string& displayName) {
  // The capture renderer uses a connection of its own on another thread.
  XInitThreads();
  Display* display = XOpenDisplay(displayName.empty() ? nullptr : displayName.c_str());
  if (display == nullptr) return nullptr;
  XSetErrorHandler(OnXError);
  return std::unique_ptr<X11WindowSystem>(new X11WindowSystem(loop, display));
}

X11WindowSystem::X11WindowSystem(PollEventLoop& loop, Display* display)
    : loop_(loop),
      display_(display),
      screen_(DefaultScreen(display)),
      root_(RootWindow(display, DefaultScreen(display))),
      atoms_(X11Atoms::intern(display)),
      xinputOpcode_(QueryXInputOpcode(display)),
      alive_(std::make_shared<bool>(true)) {
  loop_.watchReadable(ConnectionNumber(display_), [this] { drainEvents(); });
}

X11WindowSystem::~X11WindowSystem() {
  *alive_ = false;
  loop_.unwatch(ConnectionNumber(display_));
  XCloseDisplay(display_);
}

int X11WindowSystem::screenDpi() { return ReadScreenDpi(display_); }

std::unique_ptr<MainWindow> X11WindowSystem::createMainWindow(const MainWindowParams& params,
                                                              WindowProc proc) {
  return X11MainWindow::create(*this, params, std::move(proc));
}

std::unique_ptr<EmbeddedBrowserWindow> X11WindowSystem::expectBrowserWindow(uint64_t parentWindow,
                                                                            int32_t width,
                                                                            int32_t height) {
  auto embedded = std::make_unique<X11EmbeddedBrowserWindow>(
      *this, static_cast<Window>(parentWindow), width, height);
  selectRootEvents();
  return embedded;
}

// Creations of top-level windows, and the client messages that clients send to the
// root for their window manager, reach the host through the root's substructure.
void X11WindowSystem::selectRootEvents() {
  if (watchingRoot_) return;
  watchingRoot_ = true;
  XSelectInput(display_, root_, SubstructureNotifyMask);
  // The selection must be in force before the browser starts creating windows.
  XSync(display_, False);
  flush();
}

void X11WindowSystem::flush() {
  XFlush(display_);
  // Round trips read events into Xlib's queue without the connection becoming readable.
  if (drainScheduled_ || XQLength(display_) == 0) return;
  drainScheduled_ = true;
  std::weak_ptr<bool> alive = alive_;
  loop_.post([this, alive] {
    auto token = alive.lock();
    if (!token || !*token) return;
    drainScheduled_ = false;
    drainEvents();
  });
}

void X11WindowSystem::drainEvents() {
  auto alive = alive_;
  while (*alive && XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    dispatch(event);
  }
}

void X11WindowSystem::dispatch(XEvent& event) {
  if (event.type == GenericEvent) {
    dispatchGeneric(event);
    return;
  }
  if (event.type == CreateNotify) {
    if (event.xcreatewindow.parent == root_) offerNewWindow(event.xcreatewindow);
    return;
  }
  if (event.type == ClientMessage && event.xclient.message_type == atoms_.netWmState) {
    // Our own requests echo back through the root too; only the browser's matter.
    if (X11EmbeddedBrowserWindow* embedded = embeddedFor(event.xclient.window)) {
      embedded->handleStateRequest(event.xclient);
    }
    return;
  }
  Window window = event.xany.window;
  if (X11MainWindow* main = mainWindowFor(window)) {
    main->handleEvent(event);
    return;
  }
  if (X11EmbeddedBrowserWindow* embedded = embeddedFor(window)) embedded->handleChildEvent(event);
}

void X11WindowSystem::dispatchGeneric(XEvent& event) {
  XGenericEventCookie* cookie = &event.xcookie;
  if (cookie->extension != xinputOpcode_ || !XGetEventData(display_, cookie)) return;
  if (cookie->evtype == XI_RawMotion)
    deliverRawMotion(*static_cast<const XIRawEvent*>(cookie->data));
  XFreeEventData(display_, cookie);
}

// One sample per event, handed on at once. A device is asked about its axes once
// per registration; nothing else is allocated here.
void X11WindowSystem::deliverRawMotion(const XIRawEvent& event) {
  if (rawMotionWindows_.empty()) return;
  auto device = rawDevices_.find(event.sourceid);
  if (device == rawDevices_.end()) {
    device =
        rawDevices_.emplace(event.sourceid, RawDevice{queryPointerAxes(event.sourceid), {}}).first;
  }
  const Rect desktop{0, 0, DisplayWidth(display_, screen_), DisplayHeight(display_, screen_)};
  std::optional<RawMouseSample> sample =
      RawMouseSampleFrom(event, device->second.axes, device->second.carry, desktop);
  if (!sample) return;
  // A receiver may unregister itself, or another one, while it handles the sample.
  for (size_t i = 0; i < rawMotionWindows_.size(); ++i)
    rawMotionWindows_[i]->handleRawSample(*sample);
}

PointerAxes X11WindowSystem::queryPointerAxes(int deviceId) const {
  PointerAxes axes;
  int count = 0;
  XIDeviceInfo* info = XIQueryDevice(display_, deviceId, &count);
  if (info == nullptr) return axes;
  for (int i = 0; i < info[0].num_classes && count > 0; ++i) {
    const XIAnyClassInfo* any = info[0].classes[i];
    if (any->type != XIValuatorClass) continue;
    const auto* valuator = reinterpret_cast<const XIValuatorClassInfo*>(any);
    if (valuator->number == 0) {
      axes.absolute = valuator->mode == XIModeAbsolute;
      axes.minX = valuator->min;
      axes.maxX = valuator->max;
    } else if (valuator->number == 1) {
      axes.minY = valuator->min;
      axes.maxY = valuator->max;
    }
  }
  XIFreeDeviceInfo(info);
  return axes;
}

void X11WindowSystem::offerNewWindow(const XCreateWindowEvent& created) {
  for (X11EmbeddedBrowserWindow* embedded : embedded_) {
    if (embedded->wants(created)) {
      embedded->adopt(created.window);
      return;
    }
  }
}

X11MainWindow* X11WindowSystem::mainWindowFor(Window window) const {
  for (X11MainWindow* main : mainWindows_) {
    if (main->nativeHandle() == window) return main;
  }
  return nullptr;
}

X11EmbeddedBrowserWindow* X11WindowSystem::embeddedFor(Window child) const {
  if (child == None) return nullptr;
  for (X11EmbeddedBrowserWindow* embedded : embedded_) {
    if (embedded->child() == child) return embedded;
  }
  return nullptr;
}

bool X11WindowSystem::windowManagerRunning() const {
  Window check = ReadWindowProperty(display_, root_, atoms_.netSupportingWmCheck);
  if (check == None) return false;
  return ReadWindowProperty(display_, check, atoms_.netSupportingWmCheck) == check;
}

Window X11WindowSystem::adoptedChildOf(Window parent) const {
  for (X11EmbeddedBrowserWindow* embedded : embedded_) {
    if (embedded->parent() == parent && embedded->inParent()) return embedded->child();
  }
  return None;
}

void X11WindowSystem::releaseChildrenOf(Window parent) {
  for (X11EmbeddedBrowserWindow* embedded : embedded_) {
    if (embedded->parent() == parent) embedded->release();
  }
}

uint32_t X11WindowSystem::selectRawMotionFor(X11MainWindow* window, bool wanted) {
  if (xinputOpcode_ < 0) return kNoXInput2;
  Erase(rawMotionWindows_, window);
  if (wanted) rawMotionWindows_.push_back(window);
  const uint32_t error = selectRawMotion(!rawMotionWindows_.empty());
  if (error != 0) Erase(rawMotionWindows_, window);
  return error;
}

// Raw motion is only ever reported on the root window. The request is answered before
// returning, so that its error (if any) is known.
uint32_t X11WindowSystem::selectRawMotion(bool enabled) {
  if (xinputOpcode_ < 0) return kNoXInput2;
  if (enabled == rawMotionSelected_) return 0;
  if (enabled) rawDevices_.clear();  // devices may have come, gone or changed meanwhile
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
  if (enabled) XISetMask(bits.data(), XI_RawMotion);
  XIEventMask mask{};
  mask.deviceid = XIAllMasterDevices;
  mask.mask_len = static_cast<int>(bits.size());
  mask.mask = bits.data();
  XSync(display_, False);
  int error = 0;
  trappedError = &error;
  XISelectEvents(display_, root_, &mask, 1);
  XSync(display_, False);
  trappedError = nullptr;
  if (error == 0) rawMotionSelected_ = enabled;
  flush();
  return static_cast<uint32_t>(error);
}

void X11WindowSystem::registerMainWindow(X11MainWindow* window) { mainWindows_.push_back(window); }

void X11WindowSystem::unregisterMainWindow(X11MainWindow* window) {
  Erase(mainWindows_, window);
  Erase(rawMotionWindows_, window);
  static_cast<void>(selectRawMotion(!rawMotionWindows_.empty()));
}

void X11WindowSystem::registerEmbedded(X11EmbeddedBrowserWindow* embedded) {
  embedded_.push_back(embedded);
}

void X11WindowSystem::unregisterEmbedded(X11EmbeddedBrowserWindow* embedded) {
  Erase(embedded_, embedded);
}

}  // namespace tavrelle::linux_platform
