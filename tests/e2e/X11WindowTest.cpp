// The X11 main window and the adoption of a browser window, on a private Xvfb server,
// with openbox as the window manager and without any.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/linux/PollEventLoop.h"
#include "platform/linux/X11MainWindow.h"
#include "platform/linux/X11WindowSystem.h"
#include "support/XvfbSession.h"

extern char** environ;

namespace tavrelle::linux_platform {
namespace {

using namespace std::chrono_literals;
using test::XvfbSession;

constexpr auto kPatience = 20s;

// A second, independent connection that looks at the server the way other clients do.
class Observer {
 public:
  explicit Observer(const std::string& display) : display_(XOpenDisplay(display.c_str())) {}
  ~Observer() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  Observer(const Observer&) = delete;
  Observer& operator=(const Observer&) = delete;

  Display* display() const { return display_; }
  Window root() const { return DefaultRootWindow(display_); }
  Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

  std::vector<unsigned char> property(Window window, const char* name, Atom type, int* format) const {
    Atom actual = None;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned char> bytes;
    if (XGetWindowProperty(display_, window, atom(name), 0, 1 << 20, False, type, &actual, format,
                           &count, &after, &data) == Success &&
        data != nullptr) {
      size_t unit = *format == 32 ? sizeof(long) : static_cast<size_t>(*format / 8);
      bytes.assign(data, data + count * unit);
    }
    if (data != nullptr) XFree(data);
    return bytes;
  }
  std::string text(Window window, const char* name, Atom type) const {
    int format = 0;
    auto bytes = property(window, name, type, &format);
    return std::string(bytes.begin(), bytes.end());
  }
  std::vector<long> longs(Window window, const char* name, Atom type) const {
    int format = 0;
    auto bytes = property(window, name, type, &format);
    std::vector<long> values(bytes.size() / sizeof(long));
    if (values.empty()) return values;
    std::memcpy(values.data(), bytes.data(), values.size() * sizeof(long));
    return values;
  }
  int mapState(Window window) const {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return -1;
    return attributes.map_state;
  }
  Window parentOf(Window window) const {
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return None;
    if (children != nullptr) XFree(children);
    return parent;
  }
  Rect geometry(Window window) const {
    Window root = None;
    int x = 0;
    int y = 0;
    unsigned int w = 0;
    unsigned int h = 0;
    unsigned int border = 0;
    unsigned int depth = 0;
    if (!XGetGeometry(display_, window, &root, &x, &y, &w, &h, &border, &depth)) return {};
    return Rect{x, y, x + static_cast<int32_t>(w), y + static_cast<int32_t>(h)};
  }
  bool inClientList(Window window) const {
    auto list = longs(root(), "_NET_CLIENT_LIST", XA_WINDOW);
    return std::find(list.begin(), list.end(), static_cast<long>(window)) != list.end();
  }
  bool hasAtom(Window window, const char* property, const char* value) const {
    auto atoms = longs(window, property, XA_ATOM);
    return std::find(atoms.begin(), atoms.end(), static_cast<long>(atom(value))) != atoms.end();
  }

 private:
  Display* display_;
};

// Everything the window procedure received.
struct EventLog {
  std::vector<WindowEvent> events;
  WindowProcResult closeResult = WindowProcResult::Default;

  WindowProc proc() {
    return [this](const WindowEvent& event) {
      events.push_back(event);
      return event.kind == WindowEvent::Kind::Close ? closeResult : WindowProcResult::Default;
    };
  }
  size_t count(WindowEvent::Kind kind) const {
    return static_cast<size_t>(std::count_if(events.begin(), events.end(),
                                             [kind](const WindowEvent& e) { return e.kind == kind; }));
  }
  // The last Size event; a width of -1 when there was none.
  WindowEvent lastSize() const {
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
      if (it->kind == WindowEvent::Kind::Size) return *it;
    }
    WindowEvent none;
    none.clientWidth = -1;
    return none;
  }
};

// One server per suite; each test has its own loop, connection and window.
class X11WindowTestBase : public ::testing::Test {
 protected:
  static std::unique_ptr<XvfbSession>& session(bool windowManager) {
    static std::unique_ptr<XvfbSession> plain;
    static std::unique_ptr<XvfbSession> managed;
    return windowManager ? managed : plain;
  }
  static void startSession(bool windowManager) {
    XvfbSession::Options options;
    options.windowManager = windowManager;
    session(windowManager) = std::make_unique<XvfbSession>(options);
  }

  virtual bool withWindowManager() const = 0;

  void SetUp() override {
    XvfbSession* xvfb = session(withWindowManager()).get();
    ASSERT_NE(xvfb, nullptr);
    ASSERT_TRUE(xvfb->ready()) << xvfb->error();
    display_ = xvfb->display();
    system_ = X11WindowSystem::connect(loop_, display_);
    ASSERT_NE(system_, nullptr);
    observer_ = std::make_unique<Observer>(display_);
    ASSERT_NE(observer_->display(), nullptr);
  }

  void TearDown() override {
    window_.reset();
    system_.reset();
  }

  X11MainWindow& createWindow(uint32_t style = window_style::kOverlappedWindow, int32_t width = 640,
                              int32_t height = 480, std::string title = "Tavrelle test") {
    MainWindowParams params;
    params.className = "Tavrelle";
    params.title = std::move(title);
    params.style = style;
    params.outerWidth = width;
    params.outerHeight = height;
    params.background = Rgb{10, 20, 30};
    params.icon = Image{2, 2, {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0x00000000u}};
    window_ = system_->createMainWindow(params, log_.proc());
    EXPECT_NE(window_, nullptr);
    return static_cast<X11MainWindow&>(*window_);
  }
  Window xid() const { return static_cast<Window>(window_->nativeHandle()); }

  // Runs the loop until the condition holds; false when it never did.
  template <typename Condition>
  bool pumpUntil(Condition condition, std::chrono::milliseconds patience = kPatience) {
    auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      loop_.runOnce(20ms);
      XSync(observer_->display(), False);
    }
    return true;
  }

  // Shows the window and waits until it is on screen and settled by the window manager.
  void showAndWait() {
    window_->show();
    ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(xid()) == IsViewable; }));
    if (withWindowManager()) {
      ASSERT_TRUE(pumpUntil([&] { return observer_->inClientList(xid()); }));
      ASSERT_TRUE(pumpUntil([&] {
        return !observer_->longs(xid(), "_NET_FRAME_EXTENTS", XA_CARDINAL).empty();
      }));
    }
  }

  void sendToRoot(Window window, const char* type, std::array<long, 5> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = observer_->atom(type);
    event.xclient.format = 32;
    for (size_t i = 0; i < data.size(); ++i) event.xclient.data.l[i] = data[i];
    XSendEvent(observer_->display(), observer_->root(), False,
               SubstructureNotifyMask | SubstructureRedirectMask, &event);
    XFlush(observer_->display());
  }

  PollEventLoop loop_;
  std::string display_;
  std::unique_ptr<X11WindowSystem> system_;
  std::unique_ptr<Observer> observer_;
  EventLog log_;
  std::unique_ptr<MainWindow> window_;
};

class X11WindowWithoutWm : public X11WindowTestBase {
 protected:
  static void SetUpTestSuite() { startSession(false); }
  static void TearDownTestSuite() { session(false).reset(); }
  bool withWindowManager() const override { return false; }
};

class X11WindowWithOpenbox : public X11WindowTestBase {
 protected:
  static void SetUpTestSuite() { startSession(true); }
  static void TearDownTestSuite() { session(true).reset(); }
  bool withWindowManager() const override { return true; }
};

// ---- Creation and properties -------------------------------------------------------

TEST_F(X11WindowWithoutWm, ConnectFailsWithoutADisplay) {
  PollEventLoop loop;
  EXPECT_EQ(X11WindowSystem::connect(loop, ":31999"), nullptr);
}

TEST_F(X11WindowWithoutWm, CreatedHiddenUntilShown) {
  createWindow();
  EXPECT_EQ(observer_->mapState(xid()), IsUnmapped);
  EXPECT_EQ(window_->style() & window_style::kVisible, 0u);
  showAndWait();
  EXPECT_NE(window_->style() & window_style::kVisible, 0u);
  window_->show();  // a second show is harmless
  EXPECT_EQ(observer_->mapState(xid()), IsViewable);
}

TEST_F(X11WindowWithoutWm, ClientAreaIsTheGivenSizeAndAdjustIsIdentity) {
  createWindow(window_style::kOverlappedWindow, 640, 480);
  EXPECT_EQ(window_->clientRect(), (Rect{0, 0, 640, 480}));
  EXPECT_EQ(window_->adjustWindowRect(Rect{0, 0, 800, 600}, window_style::kOverlappedWindow),
            (Rect{0, 0, 800, 600}));
  showAndWait();
  EXPECT_EQ(window_->clientRect(), (Rect{0, 0, 640, 480}));
  Rect outer = window_->windowRect();
  EXPECT_EQ(outer.width(), 640);
  EXPECT_EQ(outer.height(), 480);
}

TEST_F(X11WindowWithoutWm, TitleClassPidProtocolsAndHints) {
  createWindow(window_style::kOverlappedWindow, 320, 240, "Tävrelle ✓");
  Atom utf8 = observer_->atom("UTF8_STRING");
  EXPECT_EQ(observer_->text(xid(), "_NET_WM_NAME", utf8), "Tävrelle ✓");
  window_->setTitle("Plain title");
  XSync(observer_->display(), False);
  EXPECT_EQ(observer_->text(xid(), "_NET_WM_NAME", utf8), "Plain title");
  EXPECT_EQ(observer_->text(xid(), "WM_NAME", XA_STRING), "Plain title");

  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(observer_->display(), xid(), &hint));
  EXPECT_STREQ(hint.res_class, "Tavrelle");
  EXPECT_STREQ(hint.res_name, "tavrelle");
  XFree(hint.res_name);
  XFree(hint.res_class);

  EXPECT_EQ(observer_->longs(xid(), "_NET_WM_PID", XA_CARDINAL), std::vector<long>{getpid()});
  EXPECT_TRUE(observer_->hasAtom(xid(), "WM_PROTOCOLS", "WM_DELETE_WINDOW"));
  EXPECT_TRUE(observer_->hasAtom(xid(), "WM_PROTOCOLS", "WM_TAKE_FOCUS"));

  XWMHints* hints = XGetWMHints(observer_->display(), xid());
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE(hints->flags & InputHint);
  EXPECT_EQ(hints->input, False);
  XFree(hints);

  std::vector<long> icon = observer_->longs(xid(), "_NET_WM_ICON", XA_CARDINAL);
  ASSERT_EQ(icon.size(), 6u);
  EXPECT_EQ(icon[0], 2);
  EXPECT_EQ(icon[1], 2);
  EXPECT_EQ(static_cast<uint32_t>(icon[2]), 0xFFFF0000u);  // Xlib sign-extends 32-bit items
}

TEST_F(X11WindowWithoutWm, StyleWithoutSizingBorderPinsTheSize) {
  createWindow(0x00CA0000, 500, 400);
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(observer_->display(), xid(), &hints, &supplied));
  EXPECT_TRUE(hints.flags & PMinSize);
  EXPECT_EQ(hints.min_width, 500);
  EXPECT_EQ(hints.max_height, 400);
  std::vector<long> motif = observer_->longs(xid(), "_MOTIF_WM_HINTS",
                                             observer_->atom("_MOTIF_WM_HINTS"));
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_NE(motif[2], 0);  // decorated

  window_->setStyle(0);
  XSync(observer_->display(), False);
  motif = observer_->longs(xid(), "_MOTIF_WM_HINTS", observer_->atom("_MOTIF_WM_HINTS"));
  ASSERT_EQ(motif.size(), 5u);
  EXPECT_EQ(motif[2], 0);  // no decorations
  EXPECT_EQ(window_->style() & 0x00CF0000u, 0u);
}

TEST_F(X11WindowWithoutWm, ScreenDpiFromTheResourceDatabase) {
  EXPECT_EQ(system_->screenDpi(), 96);
  std::string resources = "Xft.dpi:\t144\n";
  XChangeProperty(observer_->display(), observer_->root(), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(resources.data()),
                  static_cast<int>(resources.size()));
  XSync(observer_->display(), False);
  PollEventLoop loop;
  auto fresh = X11WindowSystem::connect(loop, display_);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->screenDpi(), 144);
  XDeleteProperty(observer_->display(), observer_->root(), XA_RESOURCE_MANAGER);
  XSync(observer_->display(), False);
}

// ---- Geometry -------------------------------------------------------------------------

TEST_F(X11WindowWithoutWm, SetWindowPosRoundTrips) {
  createWindow();
  showAndWait();
  uint32_t flags = window_pos::kNoZOrder | window_pos::kNoActivate;
  window_->setWindowPos(100, 50, 800, 600, flags);
  ASSERT_TRUE(pumpUntil([&] {
    WindowEvent size = log_.lastSize();
    return size.clientWidth == 800 && size.clientHeight == 600;
  }));
  EXPECT_EQ(log_.lastSize().sizeType, SizeType::Restored);
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Move) > 0; }));
  EXPECT_EQ(window_->windowRect(), (Rect{100, 50, 900, 650}));

  window_->setWindowPos(0, 0, 1024, 700, flags | window_pos::kNoMove);
  ASSERT_TRUE(pumpUntil([&] { return window_->clientRect() == Rect{0, 0, 1024, 700}; }));
  EXPECT_EQ(window_->windowRect().left, 100);

  window_->setWindowPos(-20, 30, 0, 0, flags | window_pos::kNoSize);
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect() == Rect{-20, 30, 1004, 730}; }));
}

TEST_F(X11WindowWithoutWm, SizeEventsOnlyForChanges) {
  createWindow();
  showAndWait();
  window_->setWindowPos(0, 0, 700, 500, window_pos::kNoMove);
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Size) == 1; }));
  // Moving alone sends Move, not Size.
  window_->setWindowPos(30, 40, 0, 0, window_pos::kNoSize);
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Move) >= 1; }));
  window_->setWindowPos(0, 0, 700, 500, window_pos::kNoMove);  // the same size again
  window_->setWindowPos(0, 0, 710, 500, window_pos::kNoMove);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().clientWidth == 710; }));
  EXPECT_EQ(log_.count(WindowEvent::Kind::Size), 2u);
}

TEST_F(X11WindowWithoutWm, MonitorIsTheScreen) {
  createWindow();
  EXPECT_EQ(window_->monitorRectNearest(), (Rect{0, 0, 1280, 1024}));
  window_->setWindowPos(5000, 5000, 100, 100, 0);
  XSync(system_->display(), False);
  EXPECT_EQ(window_->monitorRectNearest(), (Rect{0, 0, 1280, 1024}));
}

TEST_F(X11WindowWithoutWm, FullscreenCoversTheMonitor) {
  createWindow();
  showAndWait();
  uint32_t saved = window_->style();
  Rect savedRect = window_->windowRect();
  window_->setStyle(saved & ~0x00C40000u);
  Rect monitor = window_->monitorRectNearest();
  window_->setWindowPos(monitor.left, monitor.top, monitor.width(), monitor.height(), 0x34);
  window_->markFullscreen(true);
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect() == monitor; }));
  EXPECT_TRUE(observer_->hasAtom(xid(), "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"));
  EXPECT_EQ(observer_->longs(xid(), "_NET_WM_BYPASS_COMPOSITOR", XA_CARDINAL), std::vector<long>{1});

  window_->setStyle(saved);
  window_->setWindowPos(savedRect.left, savedRect.top, savedRect.width(), savedRect.height(), 0x34);
  window_->markFullscreen(false);
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect() == savedRect; }));
  EXPECT_FALSE(observer_->hasAtom(xid(), "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"));
}

TEST_F(X11WindowWithoutWm, MaximizeAndMinimizeWithoutAWindowManager) {
  createWindow();
  showAndWait();
  window_->showCommand(ShowCommand::Maximize);
  ASSERT_TRUE(pumpUntil([&] {
    WindowEvent size = log_.lastSize();
    return size.sizeType == SizeType::Maximized && size.clientWidth == 1280;
  }));
  EXPECT_NE(window_->style() & window_style::kMaximize, 0u);
  window_->showCommand(ShowCommand::Restore);
  ASSERT_TRUE(pumpUntil([&] {
    return log_.lastSize().sizeType == SizeType::Restored && log_.lastSize().clientWidth == 640;
  }));
  window_->showCommand(ShowCommand::Minimize);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Minimized; }));
  EXPECT_NE(window_->style() & window_style::kMinimize, 0u);
  EXPECT_NE(window_->style() & window_style::kVisible, 0u);
  window_->showCommand(ShowCommand::Restore);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Restored; }));
  EXPECT_EQ(observer_->mapState(xid()), IsViewable);
}

// ---- Closing, timers, focus ---------------------------------------------------------

TEST_F(X11WindowWithoutWm, CloseSendsCloseThenDestroy) {
  createWindow();
  showAndWait();
  window_->close();
  ASSERT_EQ(log_.count(WindowEvent::Kind::Close), 1u);
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Destroy) == 1; }));
  EXPECT_EQ(log_.events.back().kind, WindowEvent::Kind::Destroy);
  // The dead window answers calmly.
  window_->close();
  window_->setWindowPos(0, 0, 10, 10, 0);
  EXPECT_EQ(window_->clientRect(), Rect{});
  EXPECT_EQ(log_.count(WindowEvent::Kind::Close), 1u);
}

TEST_F(X11WindowWithoutWm, HandledCloseKeepsTheWindow) {
  createWindow();
  log_.closeResult = WindowProcResult::Handled;
  window_->close();
  EXPECT_EQ(log_.count(WindowEvent::Kind::Close), 1u);
  window_->setTimer(7, 1);
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Timer) >= 1; }));
  EXPECT_EQ(log_.count(WindowEvent::Kind::Destroy), 0u);
  EXPECT_NE(observer_->mapState(xid()), -1);  // still exists
}

TEST_F(X11WindowWithoutWm, DeleteWindowMessageIsTheUsersClose) {
  createWindow();
  showAndWait();
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = xid();
  event.xclient.message_type = observer_->atom("WM_PROTOCOLS");
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(observer_->atom("WM_DELETE_WINDOW"));
  XSendEvent(observer_->display(), xid(), False, NoEventMask, &event);
  XFlush(observer_->display());
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Destroy) == 1; }));
  EXPECT_EQ(log_.count(WindowEvent::Kind::Close), 1u);
}

TEST_F(X11WindowWithoutWm, TimersRepeatWithTheirIdsUntilKilled) {
  createWindow();
  window_->setTimer(1000, 5);
  window_->setTimer(1001, 5);
  ASSERT_TRUE(pumpUntil([&] {
    auto timers = std::count_if(log_.events.begin(), log_.events.end(), [](const WindowEvent& e) {
      return e.kind == WindowEvent::Kind::Timer && e.timerId == 1000;
    });
    return timers >= 3;
  }));
  window_->killTimer(1000);
  window_->killTimer(1001);
  window_->killTimer(42);  // never set
  size_t before = log_.count(WindowEvent::Kind::Timer);
  for (int i = 0; i < 5; ++i) loop_.runOnce(10ms);
  EXPECT_EQ(log_.count(WindowEvent::Kind::Timer), before);
}

TEST_F(X11WindowWithoutWm, ForegroundTakesTheFocus) {
  createWindow();
  showAndWait();
  window_->setForeground();
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::SetFocus) >= 1; }));
  Window focus = None;
  int revert = 0;
  XGetInputFocus(observer_->display(), &focus, &revert);
  EXPECT_EQ(focus, xid());
}

TEST_F(X11WindowWithoutWm, DestroyingTheObjectDestroysTheWindowWithoutEvents) {
  createWindow();
  Window id = xid();
  window_.reset();
  XSync(observer_->display(), False);
  EXPECT_EQ(observer_->mapState(id), -1);
  for (int i = 0; i < 5; ++i) loop_.runOnce(5ms);
  EXPECT_EQ(log_.count(WindowEvent::Kind::Destroy), 0u);
}

// ---- With a window manager ----------------------------------------------------------

TEST_F(X11WindowWithOpenbox, FramedWindowKeepsItsClientSize) {
  createWindow(window_style::kOverlappedWindow, 640, 480);
  EXPECT_FALSE(observer_->inClientList(xid()));
  showAndWait();
  EXPECT_EQ(window_->clientRect(), (Rect{0, 0, 640, 480}));
  Rect outer = window_->adjustWindowRect(Rect{0, 0, 800, 600}, window_style::kOverlappedWindow);
  EXPECT_GT(outer.height(), 600);  // the title bar
  EXPECT_EQ(window_->adjustWindowRect(Rect{0, 0, 800, 600}, 0), (Rect{0, 0, 800, 600}));

  window_->setWindowPos(0, 0, outer.width(), outer.height(),
                        window_pos::kNoMove | window_pos::kNoZOrder | window_pos::kNoActivate);
  ASSERT_TRUE(pumpUntil([&] { return window_->clientRect() == Rect{0, 0, 800, 600}; }));
  ASSERT_TRUE(pumpUntil([&] {
    WindowEvent size = log_.lastSize();
    return size.clientWidth == 800 && size.clientHeight == 600;
  }));
  EXPECT_EQ(window_->windowRect().width(), outer.width());
  EXPECT_EQ(window_->windowRect().height(), outer.height());
}

TEST_F(X11WindowWithOpenbox, OuterPositionRoundTrips) {
  createWindow();
  showAndWait();
  window_->setWindowPos(200, 150, 0, 0, window_pos::kNoSize | window_pos::kNoZOrder);
  ASSERT_TRUE(pumpUntil([&] {
    Rect outer = window_->windowRect();
    return outer.left == 200 && outer.top == 150;
  }));
  EXPECT_EQ(window_->clientRect(), (Rect{0, 0, 640, 480}));
}

TEST_F(X11WindowWithOpenbox, MaximizeRestoreAndMinimizeSendSizeTypes) {
  createWindow();
  showAndWait();
  window_->showCommand(ShowCommand::Maximize);
  ASSERT_TRUE(pumpUntil([&] {
    WindowEvent size = log_.lastSize();
    return size.sizeType == SizeType::Maximized;
  }));
  EXPECT_GT(log_.lastSize().clientWidth, 640);
  EXPECT_NE(window_->style() & window_style::kMaximize, 0u);

  window_->showCommand(ShowCommand::Restore);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Restored; }));
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().clientWidth == 640; }));
  EXPECT_EQ(window_->style() & window_style::kMaximize, 0u);

  window_->showCommand(ShowCommand::Minimize);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Minimized; }));
  EXPECT_NE(window_->style() & window_style::kMinimize, 0u);
  window_->showCommand(ShowCommand::Restore);
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Restored; }));
  EXPECT_EQ(observer_->mapState(xid()), IsViewable);
}

TEST_F(X11WindowWithOpenbox, MaximizeBeforeShowStartsMaximized) {
  createWindow();
  window_->showCommand(ShowCommand::Maximize);
  ASSERT_TRUE(pumpUntil([&] {
    WindowEvent size = log_.lastSize();
    return size.sizeType == SizeType::Maximized;
  }));
  EXPECT_EQ(observer_->mapState(xid()), IsViewable);
}

TEST_F(X11WindowWithOpenbox, FullscreenCoversTheMonitorAndLeavesBack) {
  createWindow();
  showAndWait();
  uint32_t saved = window_->style();
  Rect savedRect = window_->windowRect();
  window_->setStyle(saved & ~0x00C40000u);
  Rect monitor = window_->monitorRectNearest();
  EXPECT_EQ(monitor, (Rect{0, 0, 1280, 1024}));
  window_->setWindowPos(monitor.left, monitor.top, monitor.width(), monitor.height(), 0x34);
  window_->markFullscreen(true);
  ASSERT_TRUE(pumpUntil([&] {
    Rect client = window_->clientRect();
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(observer_->display(), xid(), observer_->root(), 0, 0, &x, &y, &child);
    return client == Rect{0, 0, 1280, 1024} && x == 0 && y == 0;
  }));
  ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().clientWidth == 1280; }));

  window_->setStyle(saved);
  window_->setWindowPos(savedRect.left, savedRect.top, savedRect.width(), savedRect.height(), 0x34);
  window_->markFullscreen(false);
  ASSERT_TRUE(pumpUntil([&] { return window_->clientRect() == Rect{0, 0, 640, 480}; }));
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect() == savedRect; }))
      << window_->windowRect().left << "," << window_->windowRect().top;
}

TEST_F(X11WindowWithOpenbox, CloseFromTheWindowManager) {
  createWindow();
  showAndWait();
  sendToRoot(xid(), "_NET_CLOSE_WINDOW", {0, 1, 0, 0, 0});
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Destroy) == 1; }));
  EXPECT_EQ(log_.count(WindowEvent::Kind::Close), 1u);
}

TEST_F(X11WindowWithOpenbox, ActivationHandsTheFocusOn) {
  createWindow();
  showAndWait();
  window_->setForeground();
  ASSERT_TRUE(pumpUntil([&] {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(observer_->display(), &focus, &revert);
    return focus == xid();
  }));
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::SetFocus) >= 1; }));
}

// ---- Adoption of the browser's window ---------------------------------------------

// Plays the browser: creates a top-level window of the launch size from its own
// connection, as the browser does.
class FakeBrowser {
 public:
  explicit FakeBrowser(const std::string& display) : observer_(display) {}
  Window create(int width, int height, bool mapAtOnce) {
    Display* d = observer_.display();
    XSetWindowAttributes attributes{};
    attributes.background_pixel = WhitePixel(d, DefaultScreen(d));
    window_ = XCreateWindow(d, observer_.root(), -3000, -3000, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWBackPixel, &attributes);
    if (mapAtOnce) XMapWindow(d, window_);
    XFlush(d);
    return window_;
  }
  Observer& observer() { return observer_; }

 private:
  Observer observer_;
  Window window_ = None;
};

TEST_F(X11WindowWithOpenbox, AdoptsTheBrowserWindowBeforeItIsManaged) {
  createWindow();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  bool adopted = false;
  embedded->setOnAdopted([&] { adopted = true; });
  FakeBrowser browser(display_);
  XCreateWindow(browser.observer().display(), browser.observer().root(), 0, 0, 10, 10, 0,
                CopyFromParent, InputOutput, CopyFromParent, 0, nullptr);  // a helper window
  Window child = browser.create(640, 480, false);
  ASSERT_TRUE(pumpUntil([&] { return adopted; }));
  EXPECT_TRUE(embedded->adopted());
  ASSERT_TRUE(pumpUntil([&] { return observer_->parentOf(child) == xid(); }));
  XMapWindow(browser.observer().display(), child);  // the browser shows its window
  XFlush(browser.observer().display());
  showAndWait();
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsViewable; }));
  EXPECT_FALSE(observer_->inClientList(child));
  EXPECT_EQ(observer_->parentOf(child), xid());

  embedded->setBounds(Rect{0, 0, 300, 200});
  ASSERT_TRUE(pumpUntil([&] { return observer_->geometry(child) == Rect{0, 0, 300, 200}; }));

  // The window manager's focus request reaches the browser window.
  window_->setForeground();
  ASSERT_TRUE(pumpUntil([&] {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(observer_->display(), &focus, &revert);
    return focus == child;
  }));

  // The browser moves its own window; the host keeps it where it belongs.
  XMoveResizeWindow(browser.observer().display(), child, -3000, -3000, 640, 480);
  XFlush(browser.observer().display());
  ASSERT_TRUE(pumpUntil([&] { return observer_->geometry(child) == Rect{0, 0, 300, 200}; }));

  embedded->setVisible(false);
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsUnmapped; }));
  embedded->setVisible(true);
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsViewable; }));
}

TEST_F(X11WindowWithOpenbox, AdoptsAWindowTheManagerTookFirst) {
  createWindow();
  showAndWait();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 500, 300);
  FakeBrowser browser(display_);
  Window child = browser.create(500, 300, true);  // mapped before the host can react
  ASSERT_TRUE(pumpUntil([&] { return embedded->adopted() && observer_->parentOf(child) == xid(); }));
  ASSERT_TRUE(pumpUntil([&] { return !observer_->inClientList(child); }));
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsViewable; }));
  EXPECT_EQ(observer_->parentOf(child), xid());
}

TEST_F(X11WindowWithOpenbox, BrowserFullscreenRequestIsAnsweredLikeAWindowManager) {
  createWindow();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  std::vector<bool> requests;
  embedded->setOnFullscreenRequest([&](bool on) { requests.push_back(on); });
  FakeBrowser browser(display_);
  Window child = browser.create(640, 480, false);
  ASSERT_TRUE(pumpUntil([&] { return embedded->adopted(); }));
  long fullscreen = static_cast<long>(observer_->atom("_NET_WM_STATE_FULLSCREEN"));
  sendToRoot(child, "_NET_WM_STATE", {1, fullscreen, 0, 1, 0});
  ASSERT_TRUE(pumpUntil([&] { return requests.size() == 1; }));
  EXPECT_TRUE(requests[0]);
  EXPECT_TRUE(observer_->hasAtom(child, "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"));
  sendToRoot(child, "_NET_WM_STATE", {1, fullscreen, 0, 1, 0});  // already so: no new call
  sendToRoot(child, "_NET_WM_STATE", {2, 0, fullscreen, 1, 0});  // toggle off
  ASSERT_TRUE(pumpUntil([&] { return requests.size() == 2; }));
  EXPECT_FALSE(requests[1]);
  EXPECT_FALSE(observer_->hasAtom(child, "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"));
}

TEST_F(X11WindowWithOpenbox, BrowserWindowDestroyedIsForgotten) {
  createWindow();
  showAndWait();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  FakeBrowser browser(display_);
  Window child = browser.create(640, 480, true);
  ASSERT_TRUE(pumpUntil([&] { return embedded->adopted() && observer_->parentOf(child) == xid(); }));
  XDestroyWindow(browser.observer().display(), child);
  XFlush(browser.observer().display());
  ASSERT_TRUE(pumpUntil([&] { return !embedded->adopted(); }));
  embedded->setBounds(Rect{0, 0, 10, 10});
  embedded->focus();
  embedded->parentMoved();
  window_->setForeground();  // hands the focus to the main window itself now
  ASSERT_TRUE(pumpUntil([&] {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(observer_->display(), &focus, &revert);
    return focus == xid();
  }));
}

TEST_F(X11WindowWithOpenbox, ClosingTheHostLetsTheBrowserWindowLive) {
  createWindow();
  showAndWait();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  FakeBrowser browser(display_);
  Window child = browser.create(640, 480, true);
  ASSERT_TRUE(pumpUntil([&] { return embedded->adopted() && observer_->parentOf(child) == xid(); }));
  window_->close();
  ASSERT_TRUE(pumpUntil([&] { return log_.count(WindowEvent::Kind::Destroy) == 1; }));
  EXPECT_EQ(observer_->parentOf(child), observer_->root());
  EXPECT_EQ(observer_->mapState(child), IsUnmapped);
  EXPECT_FALSE(observer_->inClientList(child));
}

TEST_F(X11WindowWithoutWm, AdoptsWithoutAWindowManagerAndSendsParentMoves) {
  createWindow();
  showAndWait();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  FakeBrowser browser(display_);
  Window child = browser.create(640, 480, true);
  XSelectInput(browser.observer().display(), child, StructureNotifyMask);
  XSync(browser.observer().display(), False);
  ASSERT_TRUE(pumpUntil([&] { return embedded->adopted() && observer_->parentOf(child) == xid(); }));
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsViewable; }));

  window_->setWindowPos(120, 80, 0, 0, window_pos::kNoSize);
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect().left == 120; }));
  embedded->parentMoved();
  // The browser hears its new screen position from a synthetic configure notice.
  Display* d = browser.observer().display();
  bool told = false;
  ASSERT_TRUE(pumpUntil([&] {
    while (XPending(d) > 0) {
      XEvent event;
      XNextEvent(d, &event);
      if (event.type == ConfigureNotify && event.xconfigure.send_event &&
          event.xconfigure.x == 120 && event.xconfigure.y == 80) {
        told = true;
      }
    }
    return told;
  }));
}

// ---- The real browser -------------------------------------------------------------

class Chromium {
 public:
  Chromium(const std::string& display, int width, int height) {
    profile_ = std::filesystem::temp_directory_path() /
               ("tavrelle-x11-test-" + std::to_string(getpid()));
    std::filesystem::create_directories(profile_ / "Default");
    std::FILE* prefs = std::fopen((profile_ / "Default" / "Preferences").c_str(), "w");
    if (prefs != nullptr) {
      std::fputs(R"({"net":{"network_prediction_options":2},"signin":{"allowed":false}})", prefs);
      std::fclose(prefs);
    }
    std::vector<std::string> args{
        "chromium", "--no-sandbox", "--test-type", "--ozone-platform=x11",
        "--user-data-dir=" + profile_.string(), "--no-first-run", "--no-default-browser-check",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--disable-features=MediaRouter,NetworkTimeServiceQuerying",
        "--host-resolver-rules=MAP update.googleapis.com ~NOTFOUND",
        "--app=data:text/html,<h1>hi</h1>",
        "--window-size=" + std::to_string(width) + "," + std::to_string(height),
        "--window-position=-3000,-3000"};
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "DISPLAY=", 8) != 0) env.emplace_back(*entry);
    }
    env.push_back("DISPLAY=" + display);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    // Its own process group, so that every browser process can be ended together.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    if (posix_spawnp(&pid_, "chromium", &actions, &attributes, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  ~Chromium() {
    if (pid_ > 0) {
      kill(-pid_, SIGTERM);
      auto deadline = std::chrono::steady_clock::now() + 10s;
      while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(-pid_, SIGKILL);
          waitpid(pid_, nullptr, 0);
          break;
        }
        std::this_thread::sleep_for(20ms);
      }
      kill(-pid_, SIGKILL);  // stragglers of the group
    }
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
  }
  Chromium(const Chromium&) = delete;
  Chromium& operator=(const Chromium&) = delete;
  bool started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
  std::filesystem::path profile_;
};

TEST_F(X11WindowWithOpenbox, AdoptsTheRealBrowserWindow) {
  if (access("/usr/bin/chromium", X_OK) != 0) GTEST_SKIP() << "chromium is not installed";
  createWindow(window_style::kOverlappedWindow, 400, 300);
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 400, 300);
  bool adopted = false;
  embedded->setOnAdopted([&] { adopted = true; });
  Chromium chromium(display_, 400, 300);
  ASSERT_TRUE(chromium.started());
  ASSERT_TRUE(pumpUntil([&] { return adopted; }, 60s));
  Window child = system_->adoptedChildOf(xid());
  ASSERT_NE(child, None);
  ASSERT_TRUE(pumpUntil([&] { return observer_->parentOf(child) == xid(); }));
  showAndWait();
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsViewable; }, 60s));
  EXPECT_FALSE(observer_->inClientList(child));
  embedded->setBounds(Rect{0, 0, 320, 200});
  ASSERT_TRUE(pumpUntil([&] { return observer_->geometry(child) == Rect{0, 0, 320, 200}; }));
  // Still there after the browser had time to react to the new size.
  for (int i = 0; i < 20; ++i) loop_.runOnce(10ms);
  EXPECT_EQ(observer_->geometry(child), (Rect{0, 0, 320, 200}));
  EXPECT_EQ(observer_->parentOf(child), xid());
}

}  // namespace
}  // namespace tavrelle::linux_platform
