#include "platform/linux/X11MainWindow.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>

#include "platform/linux/X11Icon.h"
#include "platform/linux/X11Monitors.h"
#include "platform/linux/X11PointerInput.h"
#include "platform/linux/X11Properties.h"
#include "platform/linux/X11WindowSystem.h"

namespace tavrelle::linux_platform {

namespace {

constexpr long kNetWmStateRemove = 0;
constexpr long kNetWmStateAdd = 1;
constexpr long kSourceApplication = 1;
constexpr uint32_t kStateBits =
    window_style::kMaximize | window_style::kMinimize | window_style::kVisible;

unsigned long PixelFor(Display* display, int screen, Rgb colour) {
  XColor xcolour{};
  xcolour.red = static_cast<unsigned short>(colour.red * 257);
  xcolour.green = static_cast<unsigned short>(colour.green * 257);
  xcolour.blue = static_cast<unsigned short>(colour.blue * 257);
  xcolour.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(display, DefaultColormap(display, screen), &xcolour) == 0) {
    return BlackPixel(display, screen);
  }
  return xcolour.pixel;
}

bool IsAscii(const std::string& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

unsigned int ClampSize(int32_t value) { return static_cast<unsigned int>(std::max(1, value)); }

}  // namespace

std::unique_ptr<X11MainWindow> X11MainWindow::create(X11WindowSystem& system,
                                                     const MainWindowParams& params,
                                                     WindowProc proc) {
  Display* display = system.display();
  XSetWindowAttributes attributes{};
  attributes.background_pixel = PixelFor(display, system.screen(), params.background);
  attributes.event_mask = StructureNotifyMask | PropertyChangeMask | FocusChangeMask;
  attributes.bit_gravity = NorthWestGravity;
  // The frame is unknown before the window manager manages the window: the outer size
  // given is the client size to create.
  Window window =
      XCreateWindow(display, system.root(), 0, 0, ClampSize(params.outerWidth),
                    ClampSize(params.outerHeight), 0, CopyFromParent, InputOutput, CopyFromParent,
                    CWBackPixel | CWEventMask | CWBitGravity, &attributes);
  if (window == None) return nullptr;
  std::unique_ptr<X11MainWindow> created(
      new X11MainWindow(system, window, params, std::move(proc)));
  system.registerMainWindow(created.get());
  system.flush();
  return created;
}

X11MainWindow::X11MainWindow(X11WindowSystem& system, Window window, const MainWindowParams& params,
                             WindowProc proc)
    : system_(system),
      display_(system.display()),
      window_(window),
      proc_(std::move(proc)),
      decorationStyle_(params.style & ~kStateBits),
      cursors_(system.display()),
      alive_(std::make_shared<bool>(true)),
      pointerInput_(std::make_unique<X11PointerInput>(system, *this)) {
  setWindowProperties(params);
  reported_ = queryGeometry();
}

X11MainWindow::~X11MainWindow() {
  *alive_ = false;
  for (const auto& [id, timer] : timers_) system_.loop().cancelTimer(timer);
  pointerInput_.reset();
  system_.unregisterMainWindow(this);
  if (!destroyed_) {
    system_.releaseChildrenOf(window_);
    XDestroyWindow(display_, window_);
    system_.flush();
  }
}

void X11MainWindow::setWindowProperties(const MainWindowParams& params) {
  const X11Atoms& atoms = system_.atoms();
  setTitle(params.title);

  std::string className = params.className.empty() ? std::string("Tavrelle") : params.className;
  std::string instanceName = className;
  std::transform(instanceName.begin(), instanceName.end(), instanceName.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  XClassHint classHint{instanceName.data(), className.data()};
  XSetClassHint(display_, window_, &classHint);

  XWMHints wmHints{};
  wmHints.flags = InputHint | StateHint;
  wmHints.input = False;  // globally active: the focus is handed on in WM_TAKE_FOCUS
  wmHints.initial_state = NormalState;
  XSetWMHints(display_, window_, &wmHints);

  std::array<Atom, 2> protocols{atoms.wmDeleteWindow, atoms.wmTakeFocus};
  XSetWMProtocols(display_, window_, protocols.data(), static_cast<int>(protocols.size()));

  std::array<char, HOST_NAME_MAX + 1> host{};
  if (gethostname(host.data(), host.size() - 1) == 0) {
    WriteStringProperty(display_, window_, XA_WM_CLIENT_MACHINE, XA_STRING, host.data());
  }
  WriteLongProperty(display_, window_, atoms.netWmPid, XA_CARDINAL, {static_cast<long>(getpid())});

  if (params.icon) setIcon(*params.icon);
  applyMotifHints();
  XWindowAttributes attributes{};
  XGetWindowAttributes(display_, window_, &attributes);
  applySizeHints(attributes.width, attributes.height);

  if (system_.windowManagerRunning()) {
    // Lets the window manager tell the frame before the window is first shown.
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window_;
    request.xclient.message_type = atoms.netRequestFrameExtents;
    request.xclient.format = 32;
    XSendEvent(display_, system_.root(), False, SubstructureNotifyMask | SubstructureRedirectMask,
               &request);
  }
}

void X11MainWindow::setIcon(const Image& icon) {
  std::vector<long> data = NetWmIconData(icon);
  if (data.empty()) return;
  WriteLongProperty(display_, window_, system_.atoms().netWmIcon, XA_CARDINAL, data);
}

void X11MainWindow::setTitle(const std::string& utf8Title) {
  if (destroyed_) return;
  const X11Atoms& atoms = system_.atoms();
  WriteStringProperty(display_, window_, atoms.netWmName, atoms.utf8String, utf8Title);
  // WM_NAME for older readers: Latin-1 when the title is plain ASCII, else UTF-8 as is.
  WriteStringProperty(display_, window_, XA_WM_NAME,
                      IsAscii(utf8Title) ? XA_STRING : atoms.utf8String, utf8Title);
  system_.flush();
}

void X11MainWindow::applyMotifHints() {
  MotifWmHints hints = MotifHintsForStyle(decorationStyle_);
  // A fixed-size window offers no maximizing to the user, but the game may maximize it;
  // a window manager refuses that while either function is missing.
  if (wantMaximized_) hints.functions |= MotifWmHints::kFuncMaximize | MotifWmHints::kFuncResize;
  WriteLongProperty(
      display_, window_, system_.atoms().motifWmHints, system_.atoms().motifWmHints,
      {static_cast<long>(hints.flags), static_cast<long>(hints.functions),
       static_cast<long>(hints.decorations), hints.inputMode, static_cast<long>(hints.status)});
}

void X11MainWindow::applySizeHints(int32_t clientWidth, int32_t clientHeight) {
  XSizeHints hints{};
  hints.flags = PWinGravity;
  hints.win_gravity = NorthWestGravity;
  if (positioned_) hints.flags |= USPosition | PPosition;
  // While maximized the size is the window manager's; the fixed size returns on restore.
  if (!IsResizableStyle(decorationStyle_) && !wantMaximized_) {
    fixedClientSize_ = {std::max(1, clientWidth), std::max(1, clientHeight)};
    hints.flags |= PMinSize | PMaxSize;
    hints.min_width = hints.max_width = fixedClientSize_.first;
    hints.min_height = hints.max_height = fixedClientSize_.second;
  }
  XSetWMNormalHints(display_, window_, &hints);
}

void X11MainWindow::show() {
  if (destroyed_ || shown_) return;
  shown_ = true;
  XMapWindow(display_, window_);
  system_.flush();
}

void X11MainWindow::showCommand(ShowCommand command) {
  if (destroyed_) return;
  switch (command) {
    case ShowCommand::Maximize:
      setMaximized(true);
      show();
      break;
    case ShowCommand::Minimize:
      minimize();
      break;
    case ShowCommand::Restore:
      restore();
      break;
  }
  system_.flush();
}

void X11MainWindow::minimize() {
  if (!shown_) {
    XWMHints* hints = XGetWMHints(display_, window_);
    XWMHints iconic = hints != nullptr ? *hints : XWMHints{};
    if (hints != nullptr) XFree(hints);
    iconic.flags |= StateHint;
    iconic.initial_state = IconicState;
    XSetWMHints(display_, window_, &iconic);
    show();
    return;
  }
  if (system_.windowManagerRunning()) {
    XIconifyWindow(display_, window_, system_.screen());
    return;
  }
  // Nobody would act on the request: hide the window and say so in its state.
  XUnmapWindow(display_, window_);
  changeState(true, system_.atoms().netWmStateHidden, None);
}

void X11MainWindow::restore() {
  WindowStateFlags state = readState();
  if (!shown_) {
    show();
  } else if (IsMinimized(state)) {
    if (!system_.windowManagerRunning()) changeState(false, system_.atoms().netWmStateHidden, None);
    XMapRaised(display_, window_);  // ICCCM: mapping an iconic window deiconifies it
  } else if (IsMaximized(state)) {
    setMaximized(false);
  }
}

void X11MainWindow::setMaximized(bool maximized) {
  const bool wasWanted = wantMaximized_;
  wantMaximized_ = maximized;
  if (wasWanted != maximized) applyMaximizingHints();
  if (IsMaximized(readState()) == maximized) return;
  const X11Atoms& atoms = system_.atoms();
  if (!system_.windowManagerRunning() && shown_) {
    // No window manager: the window covers its monitor itself.
    if (maximized) {
      unmaximizedClient_ = clientRectOnRoot();
      Rect monitor = monitorRectNearest();
      XMoveResizeWindow(display_, window_, monitor.left, monitor.top, ClampSize(monitor.width()),
                        ClampSize(monitor.height()));
    } else if (unmaximizedClient_) {
      Rect back = *unmaximizedClient_;
      XMoveResizeWindow(display_, window_, back.left, back.top, ClampSize(back.width()),
                        ClampSize(back.height()));
      unmaximizedClient_.reset();
    }
  }
  changeState(maximized, atoms.netWmStateMaximizedVert, atoms.netWmStateMaximizedHorz);
}

// Unpins a fixed size while maximizing is wanted and pins it again after; the hints
// reach the window manager before the state change that follows them.
void X11MainWindow::applyMaximizingHints() {
  applyMotifHints();
  applySizeHints(fixedClientSize_.first, fixedClientSize_.second);
}

// Asks the window manager for a _NET_WM_STATE change, or writes the property itself
// when the window is not mapped yet (the window manager reads it when mapping) or no
// window manager runs.
void X11MainWindow::changeState(bool add, Atom first, Atom second) {
  const X11Atoms& atoms = system_.atoms();
  if (shown_ && system_.windowManagerRunning()) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window_;
    message.xclient.message_type = atoms.netWmState;
    message.xclient.format = 32;
    message.xclient.data.l[0] = add ? kNetWmStateAdd : kNetWmStateRemove;
    message.xclient.data.l[1] = static_cast<long>(first);
    message.xclient.data.l[2] = static_cast<long>(second);
    message.xclient.data.l[3] = kSourceApplication;
    XSendEvent(display_, system_.root(), False, SubstructureNotifyMask | SubstructureRedirectMask,
               &message);
    return;
  }
  std::vector<Atom> state = ReadAtomProperty(display_, window_, atoms.netWmState);
  for (Atom atom : {first, second}) {
    if (atom == None) continue;
    auto found = std::find(state.begin(), state.end(), atom);
    if (add && found == state.end()) state.push_back(atom);
    if (!add && found != state.end()) state.erase(found);
  }
  WriteAtomProperty(display_, window_, atoms.netWmState, state);
}

uint32_t X11MainWindow::style() const {
  if (destroyed_) return decorationStyle_;
  uint32_t style = StyleWithState(decorationStyle_, readState(), shown_);
  system_.flush();
  return style;
}

void X11MainWindow::setStyle(uint32_t style) {
  if (destroyed_) return;
  decorationStyle_ = style & ~kStateBits;
  applyMotifHints();
  Rect client = clientRect();
  applySizeHints(client.width(), client.height());
  bool maximize = (style & window_style::kMaximize) != 0;
  if (maximize != IsMaximized(readState())) setMaximized(maximize);
  system_.flush();
}

WindowStateFlags X11MainWindow::readState() const {
  const X11Atoms& atoms = system_.atoms();
  WindowStateFlags flags;
  for (Atom atom : ReadAtomProperty(display_, window_, atoms.netWmState)) {
    if (atom == atoms.netWmStateMaximizedVert) flags.maximizedVert = true;
    if (atom == atoms.netWmStateMaximizedHorz) flags.maximizedHorz = true;
    if (atom == atoms.netWmStateHidden) flags.hidden = true;
    if (atom == atoms.netWmStateFullscreen) flags.fullscreen = true;
  }
  std::vector<long> wmState = ReadLongProperty(display_, window_, atoms.wmState, atoms.wmState);
  flags.iconic = !wmState.empty() && wmState.front() == IconicState;
  return flags;
}

Rect X11MainWindow::clientRectOnRoot() const {
  int x = 0;
  int y = 0;
  Window child = None;
  XTranslateCoordinates(display_, window_, system_.root(), 0, 0, &x, &y, &child);
  Rect client = clientRect();
  return Rect{x, y, x + client.width(), y + client.height()};
}

ClientGeometry X11MainWindow::queryGeometry() const {
  Rect client = clientRectOnRoot();
  return ClientGeometry{client.left, client.top, client.width(), client.height(),
                        SizeTypeForState(readState())};
}

Rect X11MainWindow::clientRect() const {
  if (destroyed_) return {};
  Window root = None;
  int x = 0;
  int y = 0;
  unsigned int width = 0;
  unsigned int height = 0;
  unsigned int border = 0;
  unsigned int depth = 0;
  bool known = XGetGeometry(display_, window_, &root, &x, &y, &width, &height, &border, &depth);
  system_.flush();
  if (!known) return {};
  return Rect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
}

Rect X11MainWindow::windowRect() const {
  if (destroyed_) return {};
  return GrowByFrame(clientRectOnRoot(), currentFrame_);
}

FrameExtents X11MainWindow::frameForStyle(uint32_t style) const {
  if ((style & window_style::kCaption) != window_style::kCaption) return {};
  return decoratedFrame_;
}

Rect X11MainWindow::adjustWindowRect(Rect client, uint32_t style) const {
  return GrowByFrame(client, frameForStyle(style));
}

void X11MainWindow::setWindowPos(int32_t x, int32_t y, int32_t width, int32_t height,
                                 uint32_t flags) {
  if (destroyed_) return;
  const bool move = (flags & window_pos::kNoMove) == 0;
  const bool size = (flags & window_pos::kNoSize) == 0;
  if ((flags & window_pos::kFrameChanged) != 0) applyMotifHints();
  if (!move && !size) {
    system_.flush();
    return;
  }
  Rect client = ShrinkByFrame(Rect{x, y, x + width, y + height}, frameForStyle(decorationStyle_));
  Rect current = clientRect();
  unsigned int clientWidth = ClampSize(size ? client.width() : current.width());
  unsigned int clientHeight = ClampSize(size ? client.height() : current.height());
  if (move) positioned_ = true;
  geometryRestoresLeft_ = 0;  // a new request replaces the one being insisted on
  applySizeHints(static_cast<int32_t>(clientWidth), static_cast<int32_t>(clientHeight));
  // With north-west gravity the window manager places the frame's corner at (x, y).
  if (move && size) {
    XMoveResizeWindow(display_, window_, x, y, clientWidth, clientHeight);
  } else if (move) {
    XMoveWindow(display_, window_, x, y);
  } else {
    XResizeWindow(display_, window_, clientWidth, clientHeight);
  }
  Rect outer = windowRect();
  int32_t left = move ? x : outer.left;
  int32_t top = move ? y : outer.top;
  requestedClient_ = Rect{left, top, left + static_cast<int32_t>(clientWidth),
                          top + static_cast<int32_t>(clientHeight)};
  system_.flush();
}

Rect X11MainWindow::monitorRectNearest() const {
  Display* display = display_;
  Rect screen{0, 0, DisplayWidth(display, system_.screen()),
              DisplayHeight(display, system_.screen())};
  std::vector<Rect> monitors = QueryMonitorRects(display, system_.root());
  system_.flush();
  return ChooseMonitor(monitors, windowRect(), screen);
}

void X11MainWindow::markFullscreen(bool fullscreen) {
  if (destroyed_ || fullscreen == fullscreen_) return;
  fullscreen_ = fullscreen;
  const X11Atoms& atoms = system_.atoms();
  changeState(fullscreen, atoms.netWmStateFullscreen, None);
  if (fullscreen) {
    WriteLongProperty(display_, window_, atoms.netWmBypassCompositor, XA_CARDINAL, {1});
  } else {
    XDeleteProperty(display_, window_, atoms.netWmBypassCompositor);
    // Leaving fullscreen, a window manager restores what it saved when entering, which
    // was already the monitor's rectangle: the state or rectangle asked for last wins.
    if (wantMaximized_) {
      changeState(true, atoms.netWmStateMaximizedVert, atoms.netWmStateMaximizedHorz);
    } else if (requestedClient_ && system_.windowManagerRunning()) {
      applyRequestedGeometry();
      // The manager may restore its own rectangle after ours arrived: insist a few times.
      geometryRestoresLeft_ = kGeometryRestoreAttempts;
    }
  }
  system_.flush();
}

void X11MainWindow::setForeground() {
  if (destroyed_) return;
  XRaiseWindow(display_, window_);
  if (system_.windowManagerRunning() && shown_) {
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window_;
    message.xclient.message_type = system_.atoms().netActiveWindow;
    message.xclient.format = 32;
    message.xclient.data.l[0] = kSourceApplication;
    message.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, system_.root(), False, SubstructureNotifyMask | SubstructureRedirectMask,
               &message);
  } else if (shown_) {
    takeFocus(CurrentTime);
  }
  system_.flush();
}

void X11MainWindow::takeFocus(Time time) {
  Window child = system_.adoptedChildOf(window_);
  Window target = child != None ? child : window_;
  // An unmapped target makes the server answer BadMatch, which the error handler drops.
  XSetInputFocus(display_, target, RevertToParent, time);
  system_.flush();
}

// Taking the focus from nobody steals nothing: without a window manager the focus
// often follows the pointer (PointerRoot) or is nowhere.
bool X11MainWindow::isActive() const {
  if (destroyed_) return false;
  Window focus = None;
  int revertTo = 0;
  XGetInputFocus(display_, &focus, &revertTo);
  if (focus == None || focus == PointerRoot) return true;
  return isSelfOrInside(focus);
}

bool X11MainWindow::isSelfOrInside(Window window) const {
  const Window root = system_.root();
  while (window != None && window != root) {
    if (window == window_) return true;
    Window rootOut = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, window, &rootOut, &parent, &children, &count) == 0) return false;
    if (children != nullptr) XFree(children);
    window = parent;
  }
  return false;
}

void X11MainWindow::close() {
  if (destroyed_) return;
  WindowEvent event;
  event.kind = WindowEvent::Kind::Close;
  auto alive = alive_;
  WindowProcResult result = proc_ ? proc_(event) : WindowProcResult::Default;
  if (!*alive || destroyed_) return;
  if (result == WindowProcResult::Default) destroyWindow();
}

void X11MainWindow::destroyWindow() {
  for (const auto& [id, timer] : timers_) system_.loop().cancelTimer(timer);
  timers_.clear();
  system_.releaseChildrenOf(window_);
  XDestroyWindow(display_, window_);
  system_.flush();
}

void X11MainWindow::setTimer(int32_t id, int32_t intervalMs) {
  if (destroyed_) return;
  killTimer(id);
  auto alive = std::weak_ptr<bool>(alive_);
  timers_[id] = system_.loop().addTimer(std::chrono::milliseconds(std::max(1, intervalMs)), true,
                                        [this, alive, id] {
                                          auto token = alive.lock();
                                          if (!token || !*token) return;
                                          WindowEvent event;
                                          event.kind = WindowEvent::Kind::Timer;
                                          event.timerId = id;
                                          dispatch(event);
                                        });
}

void X11MainWindow::killTimer(int32_t id) {
  auto timer = timers_.find(id);
  if (timer == timers_.end()) return;
  system_.loop().cancelTimer(timer->second);
  timers_.erase(timer);
}

bool X11MainWindow::dispatch(const WindowEvent& event) {
  if (!proc_) return true;
  auto alive = alive_;
  proc_(event);
  return *alive;
}

void X11MainWindow::handleEvent(const XEvent& event) {
  if (destroyed_) return;
  if (relayingPointer_ && handlePointerEvent(event)) return;
  MainWindowInput input = ClassifyMainWindowEvent(event, window_, system_.atoms());
  using Kind = MainWindowInput::Kind;
  switch (input.kind) {
    case Kind::Ignore:
      break;
    case Kind::Close:
      close();
      break;
    case Kind::TakeFocus:
      takeFocus(input.time);
      break;
    case Kind::Destroyed:
      onDestroyed();
      break;
    case Kind::FocusGained: {
      WindowEvent focus;
      focus.kind = WindowEvent::Kind::SetFocus;
      dispatch(focus);
      break;
    }
    case Kind::GeometryChanged:
    case Kind::StateChanged:
      onGeometryOrStateChanged();
      break;
    case Kind::FrameExtentsChanged:
      onFrameExtentsChanged();
      break;
  }
}

void X11MainWindow::applyRequestedGeometry() {
  Rect client = *requestedClient_;
  XMoveResizeWindow(display_, window_, client.left, client.top, ClampSize(client.width()),
                    ClampSize(client.height()));
}

// After leaving fullscreen, the first changes that do not show the rectangle asked for
// are the window manager restoring what it saved; the request is sent again.
void X11MainWindow::insistOnRequestedGeometry() {
  if (geometryRestoresLeft_ == 0 || !requestedClient_ || readState().fullscreen) return;
  // The request holds the frame's corner and the client's size.
  const Rect outer = windowRect();
  const Rect client = clientRect();
  const Rect& wanted = *requestedClient_;
  if (outer.left == wanted.left && outer.top == wanted.top && client.width() == wanted.width() &&
      client.height() == wanted.height()) {
    geometryRestoresLeft_ = 0;
    return;
  }
  --geometryRestoresLeft_;
  applyRequestedGeometry();
  system_.flush();
}

void X11MainWindow::onGeometryOrStateChanged() {
  insistOnRequestedGeometry();
  ClientGeometry now = queryGeometry();
  std::vector<WindowEvent> events = GeometryChangeEvents(reported_, now);
  reported_ = now;
  for (const WindowEvent& event : events) {
    if (!dispatch(event) || destroyed_) return;
  }
}

void X11MainWindow::onFrameExtentsChanged() {
  std::vector<long> values =
      ReadLongProperty(display_, window_, system_.atoms().netFrameExtents, XA_CARDINAL);
  if (values.size() < 4) return;
  currentFrame_ = FrameExtents{static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]),
                               static_cast<int32_t>(values[2]), static_cast<int32_t>(values[3])};
  // A fullscreen or undecorated window has no frame; the decorated frame is kept for
  // the rectangles of the decorated style.
  if (!currentFrame_.empty()) decoratedFrame_ = currentFrame_;
}

void X11MainWindow::onDestroyed() {
  destroyed_ = true;
  for (const auto& [id, timer] : timers_) system_.loop().cancelTimer(timer);
  timers_.clear();
  static_cast<void>(system_.selectRawMotionFor(this, false));
  WindowEvent event;
  event.kind = WindowEvent::Kind::Destroy;
  dispatch(event);
}

void X11MainWindow::handleRawSample(const RawMouseSample& sample) {
  if (destroyed_) return;
  WindowEvent event;
  event.kind = WindowEvent::Kind::RawInput;
  event.raw = sample;
  dispatch(event);
}

}  // namespace tavrelle::linux_platform

namespace tavrelle::linux_platform {

WindowPointer* X11MainWindow::relayPointer() {
  if (!relayingPointer_ && !destroyed_) {
    relayingPointer_ = true;
    XSelectInput(display_, window_,
                 StructureNotifyMask | PropertyChangeMask | FocusChangeMask | ButtonPressMask |
                     ButtonReleaseMask | PointerMotionMask | LeaveWindowMask);
    system_.flush();
  }
  return this;
}

bool X11MainWindow::handlePointerEvent(const XEvent& event) {
  WindowEvent input;
  switch (event.type) {
    case ButtonPress:
    case ButtonRelease:
    case MotionNotify: {
      std::optional<MouseMessage> message = mouse_.translate(event);
      if (!message) return true;
      input.kind = WindowEvent::Kind::Mouse;
      input.mouse = *message;
      dispatch(input);
      return true;
    }
    case LeaveNotify: {
      const XCrossingEvent& crossing = event.xcrossing;
      // While the button is held the window keeps the pointer; the release's ungrab
      // reports the leave then.
      if (crossing.window != window_ || crossing.detail == NotifyInferior || mouseCaptured_ ||
          !trackingMouseLeave_) {
        return true;
      }
      trackingMouseLeave_ = false;
      input.kind = WindowEvent::Kind::Mouse;
      input.mouse = MouseMessage{mouse_message::kMouseLeave, 0, 0, 0};
      dispatch(input);
      return true;
    }
    default:
      return false;
  }
}

Point X11MainWindow::screenToClient(Point screen) const {
  const Rect client = clientRectOnRoot();
  return Point{screen.x - client.left, screen.y - client.top};
}

void X11MainWindow::setCursor(SystemCursor cursor) {
  if (destroyed_) return;
  XDefineCursor(display_, window_, cursors_.cursorFor(cursor, window_));
  system_.flush();
}

}  // namespace tavrelle::linux_platform
