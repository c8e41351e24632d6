// The X11 main window and the adoption of a browser window, on a private Xvfb server,
// with openbox as the window manager and without any.
// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <ranges>
#include <tuple>
#include <vector>

#include "platform/linux/PollEventLoop.h"
#include "platform/linux/X11MainWindow.h"
#include "platform/linux/X11WindowSystem.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::linux_platform {
namespace {

using namespace std::chrono_literals;
using Kind = WindowEvent::Kind;
using test::X11Probe;
using test::XvfbSession;

// Everything the window procedure received.
struct EventLog {
  std::vector<WindowEvent> events;
  WindowProcResult closeResult = WindowProcResult::Default;

  WindowProc proc() {
    return [this](const WindowEvent& event) {
      events.push_back(event);
      return event.kind == Kind::Close ? closeResult : WindowProcResult::Default;
    };
  }
  long count(Kind kind) const {
    return std::ranges::count_if(events, [kind](const WindowEvent& e) { return e.kind == kind; });
  }
  // The last Size event; a width of -1 when there was none.
  WindowEvent lastSize() const {
    auto size = std::ranges::find(events | std::views::reverse, Kind::Size, &WindowEvent::kind);
    return size != events.rend() ? *size : WindowEvent{.clientWidth = -1};
  }
};

// One server per suite; each test has its own loop, connection and window.
template <bool kWindowManager>
class X11Fixture : public ::testing::Test {
 protected:
  static inline std::unique_ptr<XvfbSession> session;
  static void SetUpTestSuite() {
    session = std::make_unique<XvfbSession>(XvfbSession::Options{.windowManager = kWindowManager});
  }
  static void TearDownTestSuite() { session.reset(); }

  void SetUp() override {
    ASSERT_TRUE(session->ready()) << session->error();
    // The probe first: the window system's X error handler must be the one in force.
    observer_ = std::make_unique<X11Probe>(session->display());
    ASSERT_TRUE(observer_->connected());
    system_ = X11WindowSystem::connect(loop_, session->display());
    ASSERT_NE(system_, nullptr);
  }

  void createWindow(uint32_t style = window_style::kOverlappedWindow) {
    log_ = EventLog{};
    window_ = system_->createMainWindow({.className = "Tavrelle",
                                         .title = "test",
                                         .style = style,
                                         .outerWidth = 640,
                                         .outerHeight = 480,
                                         .icon = {},
                                         .background = {}},
                                        log_.proc());
    ASSERT_NE(window_, nullptr);
  }
  // Plays the browser: a top-level window of the launch size from another client.
  Window createBrowserWindow(bool mapAtOnce) {
    Display* d = observer_->display();
    Window window = XCreateSimpleWindow(d, observer_->root(), -3000, -3000, 640, 480, 0, 0,
                                        WhitePixel(d, DefaultScreen(d)));
    if (mapAtOnce) XMapWindow(d, window);
    XFlush(d);
    return window;
  }
  Window xid() const { return static_cast<Window>(window_->nativeHandle()); }
  Rect geometry(Window window) const {
    XWindowAttributes a = observer_->attributes(window);
    return Rect{a.x, a.y, a.x + a.width, a.y + a.height};
  }

  // Runs the loop until the condition holds; false when it never did.
  template <typename Condition>
  bool pumpUntil(Condition condition, std::chrono::milliseconds patience = 60s) {
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
    ASSERT_TRUE(pumpUntil([&] { return observer_->isViewable(xid()); }));
    if (kWindowManager) {
      ASSERT_TRUE(pumpUntil([&] { return observer_->inClientList(xid()); }));
      ASSERT_TRUE(pumpUntil(
          [&] { return !observer_->longs(xid(), "_NET_FRAME_EXTENTS", XA_CARDINAL).empty(); }));
    }
  }

  PollEventLoop loop_;
  std::unique_ptr<X11WindowSystem> system_;
  std::unique_ptr<X11Probe> observer_;
  EventLog log_;
  std::unique_ptr<MainWindow> window_;
};

using X11WindowWithoutWm = X11Fixture<false>;
using X11WindowWithOpenbox = X11Fixture<true>;

// ---- Without a window manager ---------------------------------------------------------

TEST_F(X11WindowWithoutWm, ConnectionAndScreenDpi) {
  PollEventLoop loop;
  EXPECT_EQ(X11WindowSystem::connect(loop, ":31999"), nullptr);
  EXPECT_EQ(system_->screenDpi(), 96);
  const unsigned char resources[] = "Xft.dpi:\t144\n";
  XChangeProperty(observer_->display(), observer_->root(), XA_RESOURCE_MANAGER, XA_STRING, 8,
                  PropModeReplace, resources, sizeof resources - 1);
  XSync(observer_->display(), False);
  auto fresh = X11WindowSystem::connect(loop, session->display());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->screenDpi(), 144);
  XDeleteProperty(observer_->display(), observer_->root(), XA_RESOURCE_MANAGER);
  XSync(observer_->display(), False);
}

// A game that handles the close keeps its window; otherwise the window (closed by the
// game or by the title bar's button) sends Close, then Destroy, and then answers calmly.
TEST_F(X11WindowWithoutWm, CloseIsOfferedToTheGameThenDestroys) {
  createWindow();
  EXPECT_TRUE(observer_->hasAtom(xid(), "WM_PROTOCOLS", "WM_DELETE_WINDOW"));
  log_.closeResult = WindowProcResult::Handled;
  window_->close();
  EXPECT_EQ(log_.count(Kind::Close), 1);
  EXPECT_NE(observer_->mapState(xid()), -1);  // still exists
  for (bool byProtocol : {false, true}) {
    SCOPED_TRACE(byProtocol ? "WM_DELETE_WINDOW" : "close()");
    createWindow();
    showAndWait();
    if (byProtocol) {
      observer_->clientMessage(xid(), xid(), "WM_PROTOCOLS",
                               {static_cast<long>(observer_->atom("WM_DELETE_WINDOW"))},
                               NoEventMask);
    } else {
      window_->close();
    }
    ASSERT_TRUE(pumpUntil([&] { return log_.count(Kind::Destroy) == 1; }));
    EXPECT_EQ(log_.count(Kind::Close), 1);
    EXPECT_EQ(log_.events.back().kind, Kind::Destroy);
  }
  window_->close();
  window_->setWindowPos(0, 0, 10, 10, 0);
  EXPECT_EQ(window_->clientRect(), Rect{});
  EXPECT_EQ(log_.count(Kind::Close), 1);
}

// ---- With a window manager ----------------------------------------------------------

// A game that cannot be resized (or has no caption) may still maximize itself, and
// returns to its pinned size; it minimizes and comes back.
TEST_F(X11WindowWithOpenbox, FixedSizeWindowsMaximizeAndRestoreToTheirSize) {
  namespace ws = window_style;
  for (uint32_t style : {ws::kCaption | ws::kSysMenu | ws::kMinimizeBox, ws::kOverlapped}) {
    SCOPED_TRACE(style);
    createWindow(style);
    showAndWait();
    window_->showCommand(ShowCommand::Maximize);
    ASSERT_TRUE(pumpUntil([&] {
      WindowEvent size = log_.lastSize();
      return size.sizeType == SizeType::Maximized && size.clientWidth > 640;
    }));
    window_->showCommand(ShowCommand::Restore);
    ASSERT_TRUE(pumpUntil([&] {
      WindowEvent size = log_.lastSize();
      return size.sizeType == SizeType::Restored && size.clientWidth == 640 &&
             size.clientHeight == 480;
    }));
    XSizeHints hints{};
    long supplied = 0;
    ASSERT_TRUE(XGetWMNormalHints(observer_->display(), xid(), &hints, &supplied));
    EXPECT_EQ(std::tuple(hints.min_width, hints.max_width, hints.max_height),
              std::tuple(640, 640, 480));
    window_->showCommand(ShowCommand::Minimize);
    ASSERT_TRUE(pumpUntil([&] { return log_.lastSize().sizeType == SizeType::Minimized; }));
    EXPECT_NE(window_->style() & window_style::kMinimize, 0u);
    window_->showCommand(ShowCommand::Restore);
    ASSERT_TRUE(pumpUntil([&] { return observer_->isViewable(xid()); }));
  }
}

// Another application's window holds the keyboard: the window is not the active one.
TEST_F(X11WindowWithOpenbox, ActiveOnlyWhileItHoldsTheFocus) {
  createWindow();
  showAndWait();
  window_->setForeground();
  ASSERT_TRUE(pumpUntil([&] { return window_->isActive(); }));
  Display* other = observer_->display();
  Window editor = XCreateSimpleWindow(other, observer_->root(), 700, 0, 200, 200, 0, 0, 0);
  XMapWindow(other, editor);
  ASSERT_TRUE(pumpUntil([&] { return observer_->isViewable(editor); }));
  XSetInputFocus(other, editor, RevertToParent, CurrentTime);
  ASSERT_TRUE(pumpUntil([&] { return !window_->isActive(); }));
  XDestroyWindow(other, editor);
  XSetInputFocus(other, xid(), RevertToParent, CurrentTime);
  EXPECT_TRUE(pumpUntil([&] { return window_->isActive(); }));
}

// ---- Adoption of the browser's window ---------------------------------------------

// Adopted before it is managed, the browser's window stays where the host puts it, gets
// the focus, and leaves when the host closes.
TEST_F(X11WindowWithOpenbox, AdoptsTheBrowserWindowBeforeItIsManaged) {
  createWindow();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  bool adopted = false;
  embedded->setOnAdopted([&] { adopted = true; });
  Display* browser = observer_->display();
  XCreateSimpleWindow(browser, observer_->root(), 0, 0, 10, 10, 0, 0, 0);  // a helper window
  Window child = createBrowserWindow(false);
  ASSERT_TRUE(pumpUntil([&] { return adopted; }));
  EXPECT_TRUE(embedded->adopted());
  ASSERT_TRUE(pumpUntil([&] { return observer_->parentOf(child) == xid(); }));
  XMapWindow(browser, child);  // the browser shows its window
  XFlush(browser);
  showAndWait();
  ASSERT_TRUE(pumpUntil([&] { return observer_->isViewable(child); }));
  EXPECT_FALSE(observer_->inClientList(child));
  EXPECT_EQ(observer_->parentOf(child), xid());

  embedded->setBounds(Rect{0, 0, 300, 200});
  ASSERT_TRUE(pumpUntil([&] { return geometry(child) == Rect{0, 0, 300, 200}; }));
  // The window manager's focus request reaches the browser window.
  window_->setForeground();
  ASSERT_TRUE(pumpUntil([&] { return observer_->focus() == child; }));
  // The browser moves its own window; the host keeps it where it belongs.
  XMoveResizeWindow(browser, child, -3000, -3000, 640, 480);
  XFlush(browser);
  ASSERT_TRUE(pumpUntil([&] { return geometry(child) == Rect{0, 0, 300, 200}; }));

  embedded->setVisible(false);
  ASSERT_TRUE(pumpUntil([&] { return observer_->mapState(child) == IsUnmapped; }));
  embedded->setVisible(true);
  ASSERT_TRUE(pumpUntil([&] { return observer_->isViewable(child); }));

  // The browser's fullscreen requests are answered like a window manager would.
  long fullscreen = static_cast<long>(observer_->atom("_NET_WM_STATE_FULLSCREEN"));
  auto request = [&](std::array<long, 5> data) {
    observer_->clientMessage(observer_->root(), child, "_NET_WM_STATE", data,
                             SubstructureNotifyMask | SubstructureRedirectMask);
  };
  auto isFullscreen = [&] {
    return observer_->hasAtom(child, "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN");
  };
  request({1, fullscreen, 0, 1, 0});
  ASSERT_TRUE(pumpUntil(isFullscreen));
  request({1, fullscreen, 0, 1, 0});  // already so
  request({2, 0, fullscreen, 1, 0});  // toggle off
  ASSERT_TRUE(pumpUntil([&] { return !isFullscreen(); }));

  // Closing the host hands the browser's window back, unmapped, to end on its own.
  window_->close();
  ASSERT_TRUE(pumpUntil([&] { return log_.count(Kind::Destroy) == 1; }));
  EXPECT_TRUE(pumpUntil([&] {
    return observer_->parentOf(child) == observer_->root() &&
           observer_->mapState(child) == IsUnmapped;
  }));
  EXPECT_FALSE(observer_->inClientList(child));
}

// Without a window manager, a browser window mapped at once is adopted all the same.
TEST_F(X11WindowWithoutWm, AdoptsWithoutAWindowManagerAndSendsParentMoves) {
  createWindow();
  showAndWait();
  auto embedded = system_->expectBrowserWindow(window_->nativeHandle(), 640, 480);
  Window child = createBrowserWindow(true);  // mapped before the host can react
  ASSERT_TRUE(pumpUntil([&] {
    return embedded->adopted() && observer_->parentOf(child) == xid() &&
           observer_->isViewable(child);
  }));
  Display* d = observer_->display();
  XSelectInput(d, child, StructureNotifyMask);
  XSync(d, False);

  window_->setWindowPos(120, 80, 0, 0, window_pos::kNoSize);
  ASSERT_TRUE(pumpUntil([&] { return window_->windowRect().left == 120; }));
  embedded->parentMoved();
  // The browser hears its new screen position from a synthetic configure notice.
  bool told = false;
  ASSERT_TRUE(pumpUntil([&] {
    for (XEvent event; XCheckTypedWindowEvent(d, child, ConfigureNotify, &event);) {
      const XConfigureEvent& notice = event.xconfigure;
      told = told || (notice.send_event && notice.x == 120 && notice.y == 80);
    }
    return told;
  }));
}

}  // namespace
}  // namespace tavrelle::linux_platform
