// Pointer lock in the whole host: XTest relative motion, clicks and the wheel on a
// private display with a window manager, the real browser, a page that lists what it
// received in its title.

#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "support/HostOnDisplayTest.h"
#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;

// Title: "r=<responses>|m=<movements>|b=<buttons and wheel>|p=<the page's own lock>".
// A click also takes the page's own pointer lock, as games do. The title is first set
// once the page has painted. Commands come from www/cmd.json.
const std::string kLockPage = R"(<!doctype html>
<html><head><title>start</title></head>
<body style="margin:0;width:100vw;height:100vh"><p>pointer lock</p><script>
const host = window.chrome.webview;
const seen = {responses: [], moves: [], buttons: [], pageLock: 'off'};
function show() {
  document.title = 'r=' + seen.responses.join(',') + '|m=' + seen.moves.join(';') + '|b=' +
      seen.buttons.join(';') + '|p=' + seen.pageLock;
}
host.addEventListener('message', e => {
  const m = e.data;
  if (m.type === 'set-pointer-lock-enabled-response') {
    seen.responses.push(m.isOk ? 'ok-' + m.isEnabled : 'error-' + m.error);
  } else if (m.type === 'pointer-lock-movement') {
    seen.moves.push(m.movementX + ',' + m.movementY);
  } else {
    return;
  }
  show();
});
function button(text) { seen.buttons.push(text); show(); }
document.addEventListener('mousedown', e => {
  button('down@' + e.clientX + ',' + e.clientY);
  document.body.requestPointerLock();
});
document.addEventListener('pointerlockchange', () => {
  seen.pageLock = document.pointerLockElement ? 'on' : 'off';
  show();
});
document.addEventListener('mouseup', () => button('up'));
document.addEventListener('wheel', e => button(e.deltaY > 0 ? 'wheel-down' : 'wheel-up'));
function lock(on) { host.postMessage(JSON.stringify({type: 'set-pointer-lock-enabled', isEnabled: on})); }
host.postMessage(JSON.stringify({type: 'wrapper-init'}));
// The browser drops clicks that come before the page's first contentful paint.
new PerformanceObserver(() => show()).observe({type: 'paint', buffered: true});
)" + std::string(kCommandPoller) +
                              "</script></body></html>";

class PointerLockEndToEnd : public HostOnDisplayTest<true> {
 protected:
  void SetUp() override {
    HostOnDisplayTest<true>::SetUp();
    if (HasFatalFailure()) return;
    x_ = XOpenDisplay(display_->display().c_str());
    ASSERT_NE(x_, nullptr);
    game_.write("package.json", R"({"name": "e2e-pointer-lock", "window": {"width": 640,
                                    "height": 480}})");
    game_.write("www/index.html", kLockPage);
  }
  void TearDown() override {
    if (x_ != nullptr) XCloseDisplay(x_);
  }

  void command(int seq, const std::string& script) {
    game_.command(seq, R"("eval":")" + script + R"(")");
  }

  void xdotool(const std::string& arguments) {
    std::string line = "DISPLAY=" + display_->display() + " xdotool " + arguments;
    ASSERT_EQ(std::system(line.c_str()), 0) << line;
  }

  bool waitForTitle(Window window, const std::string& title) {
    return probe_->waitForTitle(window, title);
  }

  // The centre of the window's outer rectangle, its frame included.
  std::pair<int, int> outerCentre(Window window) {
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(x_, window, DefaultRootWindow(x_), 0, 0, &x, &y, &child);
    auto [width, height] = probe_->clientSize(window);
    long extents[4] = {0, 0, 0, 0};  // left, right, top, bottom
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(x_, window, XInternAtom(x_, "_NET_FRAME_EXTENTS", False), 0, 4, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && count == 4) {
      for (int i = 0; i < 4; ++i) extents[i] = reinterpret_cast<long*>(data)[i];
    }
    if (data != nullptr) XFree(data);
    const int left = x - static_cast<int>(extents[0]);
    const int top = y - static_cast<int>(extents[2]);
    const int right = x + width + static_cast<int>(extents[1]);
    const int bottom = y + height + static_cast<int>(extents[3]);
    return {left + (right - left) / 2, top + (bottom - top) / 2};
  }

  // A point of the root in the window's client coordinates, where the page sits.
  std::string clientPoint(Window window, std::pair<int, int> root) {
    int x = 0;
    int y = 0;
    Window child = None;
    XTranslateCoordinates(x_, DefaultRootWindow(x_), window, root.first, root.second, &x, &y,
                          &child);
    return std::to_string(x) + "," + std::to_string(y);
  }

  std::pair<int, int> pointer() {
    Window root = None;
    Window child = None;
    int x = 0;
    int y = 0;
    int wx = 0;
    int wy = 0;
    unsigned int mask = 0;
    XQueryPointer(x_, DefaultRootWindow(x_), &root, &child, &x, &y, &wx, &wy, &mask);
    return {x, y};
  }

  Display* x_ = nullptr;
};

TEST_F(PointerLockEndToEnd, RawMovementAndClicksReachThePageWhileTheCursorStaysCentred) {
  HostProcess host(game_, display_->display());
  const Window window = probe_->waitForHostWindow(host.pid());
  ASSERT_NE(window, 0u) << host.standardError();
  ASSERT_TRUE(X11Probe::waitFor([&] { return probe_->isViewable(window); }));
  ASSERT_TRUE(waitForTitle(window, "r=|m=|b=|p=off")) << probe_->title(window);

  command(1, "lock(true)");
  ASSERT_TRUE(waitForTitle(window, "r=ok-true|m=|b=|p=off")) << probe_->title(window);
  ASSERT_TRUE(X11Probe::waitFor([&] { return pointer() == outerCentre(window); }));

  // Exactly the deltas given, one message each, however far the barriers let it go.
  xdotool("mousemove_relative -- 7 -4");
  xdotool("mousemove_relative -- -3 5");
  xdotool("mousemove_relative -- 2000 0");
  EXPECT_TRUE(waitForTitle(window, "r=ok-true|m=7,-4;-3,5;2000,0|b=|p=off"))
      << probe_->title(window);
  ASSERT_TRUE(X11Probe::waitFor([&] { return pointer() == outerCentre(window); }));

  // Nothing grabs the pointer: a click and a wheel step at the centre reach the page,
  // and the click takes the page's own lock beside the host's.
  const std::string buttons =
      "|b=down@" + clientPoint(window, outerCentre(window)) + ";up;wheel-down";
  xdotool("click 1");
  xdotool("click 5");
  EXPECT_TRUE(waitForTitle(window, "r=ok-true|m=7,-4;-3,5;2000,0" + buttons + "|p=on"))
      << probe_->title(window);

  // The browser grabs the pointer for the page's lock; raw movement still arrives.
  xdotool("mousemove_relative -- 6 -2");
  EXPECT_TRUE(waitForTitle(window, "r=ok-true|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=on"))
      << probe_->title(window);

  // A second enable is silent; after disabling no movement arrives, the next lock
  // starts afresh.
  command(2, "document.exitPointerLock(); lock(true); lock(false)");
  ASSERT_TRUE(
      waitForTitle(window, "r=ok-true,ok-false|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=off"))
      << probe_->title(window);
  xdotool("mousemove_relative -- 5 5");
  command(3, "lock(true)");
  ASSERT_TRUE(waitForTitle(
      window, "r=ok-true,ok-false,ok-true|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=off"))
      << probe_->title(window);
  xdotool("mousemove_relative -- 9 9");
  EXPECT_TRUE(waitForTitle(
      window, "r=ok-true,ok-false,ok-true|m=7,-4;-3,5;2000,0;6,-2;9,9" + buttons + "|p=off"))
      << probe_->title(window);

  command(4, "window.close()");
  EXPECT_EQ(host.waitForExit(60s), 0) << host.standardError();
}

}  // namespace
}  // namespace tavrelle::test
