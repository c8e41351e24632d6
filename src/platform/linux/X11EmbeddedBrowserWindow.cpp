#include "platform/linux/X11EmbeddedBrowserWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <vector>

#include "platform/linux/X11Properties.h"
#include "platform/linux/X11WindowSystem.h"

namespace tavrelle::linux_platform {

namespace {

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr long kNetWmStateToggle = 2;
// A browser that keeps resizing its window against the host is given up on after this
// many corrections in a row.
constexpr int kMaxCorrections = 20;
// Where a released window waits, unmapped, until the browser closes it.
constexpr int kParkedPosition = -30000;

unsigned int ClampSize(int32_t value) { return static_cast<unsigned int>(std::max(1, value)); }

}  // namespace

X11EmbeddedBrowserWindow::X11EmbeddedBrowserWindow(X11WindowSystem& system, Window parent,
                                                   int32_t width, int32_t height)
    : system_(system),
      display_(system.display()),
      parent_(parent),
      expectedWidth_(width),
      expectedHeight_(height),
      bounds_{0, 0, width, height},
      alive_(std::make_shared<bool>(true)) {
  system_.registerEmbedded(this);
}

X11EmbeddedBrowserWindow::~X11EmbeddedBrowserWindow() {
  *alive_ = false;
  system_.unregisterEmbedded(this);
}

void X11EmbeddedBrowserWindow::setOnAdopted(std::function<void()> onAdopted) {
  onAdopted_ = std::move(onAdopted);
}

bool X11EmbeddedBrowserWindow::adopted() const { return state_ == State::InParent; }

void X11EmbeddedBrowserWindow::flush() { system_.flush(); }

void X11EmbeddedBrowserWindow::setBounds(Rect bounds) {
  bounds_ = bounds;
  corrections_ = 0;
  if (state_ != State::InParent) return;
  applyBounds();
  flush();
}

void X11EmbeddedBrowserWindow::applyBounds() {
  XMoveResizeWindow(display_, child_, bounds_.left, bounds_.top, ClampSize(bounds_.width()),
                    ClampSize(bounds_.height()));
}

void X11EmbeddedBrowserWindow::setVisible(bool visible) {
  visible_ = visible;
  if (state_ != State::InParent) return;
  if (visible) {
    XMapWindow(display_, child_);
  } else {
    XUnmapWindow(display_, child_);
  }
  flush();
}

void X11EmbeddedBrowserWindow::focus() {
  if (state_ != State::InParent || !visible_) return;
  // While the parent is hidden the server answers BadMatch, which the error handler drops.
  XSetInputFocus(display_, child_, RevertToParent, CurrentTime);
  flush();
}

void X11EmbeddedBrowserWindow::parentMoved() {
  if (state_ != State::InParent) return;
  sendSyntheticConfigure();
  flush();
}

// The browser reads its window's screen position from configure notices, the way a
// window manager reports it to a framed window (ICCCM 4.1.5): popups open there.
void X11EmbeddedBrowserWindow::sendSyntheticConfigure() {
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display_, child_, &attributes)) return;
  int rootX = 0;
  int rootY = 0;
  Window unused = None;
  XTranslateCoordinates(display_, child_, system_.root(), 0, 0, &rootX, &rootY, &unused);
  XEvent event{};
  event.xconfigure.type = ConfigureNotify;
  event.xconfigure.send_event = True;
  event.xconfigure.display = display_;
  event.xconfigure.event = child_;
  event.xconfigure.window = child_;
  event.xconfigure.x = rootX;
  event.xconfigure.y = rootY;
  event.xconfigure.width = attributes.width;
  event.xconfigure.height = attributes.height;
  event.xconfigure.border_width = attributes.border_width;
  event.xconfigure.above = None;
  event.xconfigure.override_redirect = False;
  XSendEvent(display_, child_, False, StructureNotifyMask, &event);
}

bool X11EmbeddedBrowserWindow::wants(const XCreateWindowEvent& created) const {
  return state_ == State::Waiting && created.parent == system_.root() &&
         !created.override_redirect && created.width == expectedWidth_ &&
         created.height == expectedHeight_;
}

void X11EmbeddedBrowserWindow::adopt(Window child) {
  child_ = child;
  XSelectInput(display_, child_, StructureNotifyMask | PropertyChangeMask);
  // At once, before the browser maps it: the window manager then never sees it.
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  XChangeWindowAttributes(display_, child_, CWOverrideRedirect, &attributes);
  reparentIntoParent();
}

void X11EmbeddedBrowserWindow::reparentIntoParent() {
  XReparentWindow(display_, child_, parent_, bounds_.left, bounds_.top);
  applyBounds();
  if (visible_) XMapWindow(display_, child_);
  XAddToSaveSet(display_, child_);
  state_ = State::InParent;
  flush();
  if (!announced_) {
    announced_ = true;
    if (onAdopted_) onAdopted_();
  }
}

void X11EmbeddedBrowserWindow::handleChildEvent(const XEvent& event) {
  if (child_ == None) return;
  switch (event.type) {
    case DestroyNotify:
      if (event.xdestroywindow.window == child_) onDestroyed();
      break;
    case ReparentNotify:
      if (event.xreparent.window == child_) onReparented(event.xreparent.parent);
      break;
    case ConfigureNotify:
      if (event.xconfigure.window == child_ && !event.xconfigure.send_event) {
        onConfigured(event.xconfigure);
      }
      break;
    case MapNotify:
      // The browser maps its window when it shows it, whatever the host wanted.
      if (event.xmap.window == child_ && state_ == State::InParent && !visible_) {
        XUnmapWindow(display_, child_);
        flush();
      }
      break;
    default:
      break;
  }
}

void X11EmbeddedBrowserWindow::onReparented(Window newParent) {
  if (state_ == State::Released || state_ == State::Gone) return;
  if (newParent == parent_) {
    if (state_ == State::AwaitRelease) reparentIntoParent();
    return;
  }
  if (newParent == system_.root()) {
    // Let go by the window manager (or moved out by someone else): take it back.
    reparentIntoParent();
    return;
  }
  // A window manager's frame: the override flag came too late.
  state_ = State::AwaitRelease;
  XWithdrawWindow(display_, child_, system_.screen());
  flush();
}

void X11EmbeddedBrowserWindow::onConfigured(const XConfigureEvent& configure) {
  if (state_ != State::InParent) return;
  bool matches = configure.x == bounds_.left && configure.y == bounds_.top &&
                 configure.width == std::max(1, bounds_.width()) &&
                 configure.height == std::max(1, bounds_.height());
  if (matches) {
    corrections_ = 0;
    return;
  }
  // The browser still places its window as a top-level one; the host decides.
  if (corrections_ >= kMaxCorrections) return;
  ++corrections_;
  applyBounds();
  flush();
}

void X11EmbeddedBrowserWindow::onDestroyed() {
  state_ = State::Gone;
  child_ = None;
}

void X11EmbeddedBrowserWindow::handleStateRequest(const XClientMessageEvent& request) {
  if (child_ == None || request.window != child_ || request.format != 32) return;
  const X11Atoms& atoms = system_.atoms();
  Atom fullscreenAtom = atoms.netWmStateFullscreen;
  if (static_cast<Atom>(request.data.l[1]) != fullscreenAtom &&
      static_cast<Atom>(request.data.l[2]) != fullscreenAtom) {
    return;
  }
  bool wanted = fullscreen_;
  switch (request.data.l[0]) {
    case kNetWmStateRemove:
      wanted = false;
      break;
    case kNetWmStateAdd:
      wanted = true;
      break;
    case kNetWmStateToggle:
      wanted = !fullscreen_;
      break;
    default:
      return;
  }
  // Answer as a window manager would, so that the browser believes its new state.
  std::vector<Atom> state = ReadAtomProperty(display_, child_, atoms.netWmState);
  state.erase(std::remove(state.begin(), state.end(), fullscreenAtom), state.end());
  if (wanted) state.push_back(fullscreenAtom);
  WriteAtomProperty(display_, child_, atoms.netWmState, state);
  flush();
  fullscreen_ = wanted;
}

void X11EmbeddedBrowserWindow::release() {
  if (state_ != State::InParent && state_ != State::AwaitRelease) return;
  state_ = State::Released;
  XUnmapWindow(display_, child_);
  XReparentWindow(display_, child_, system_.root(), kParkedPosition, kParkedPosition);
  flush();
}

}  // namespace tavrelle::linux_platform
