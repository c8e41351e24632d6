// Pointer lock in the whole host: XTest relative motion, clicks and the wheel on a
// private display with a window manager, the real browser, a page that lists what it
// received in its title.

#include <gtest/gtest.h>

#include <X11/Xatom.h>

#include <string>
#include <vector>

#include "support/HostOnDisplayTest.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;

// Title: "r=<responses>|m=<movements>|b=<buttons and wheel>|p=<the page's own lock>".
// A click also takes the page's own pointer lock, as games do. The title is first set
// once the page has painted.
const std::string kLockPage =
    DrivenPage(R"(<title>start</title>
<body style="margin:0;width:100vw;height:100vh"><p>pointer lock</p>)",
               R"(const seen = {responses: [], moves: [], buttons: [], pageLock: 'off'};
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
// The browser drops clicks that come before the page's first contentful paint.
new PerformanceObserver(() => show()).observe({type: 'paint', buffered: true});
)");

// The centre of the window's outer rectangle, its frame included.
std::pair<int, int> OuterCentre(const X11Probe& probe, Window window) {
  auto [x, y] = probe.clientOrigin(window);
  auto [width, height] = probe.clientSize(window);
  std::vector<long> frame = probe.longs(window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
  frame.resize(4);  // left, right, top, bottom
  return {static_cast<int>(x + (width + frame[1] - frame[0]) / 2),
          static_cast<int>(y + (height + frame[3] - frame[2]) / 2)};
}

using PointerLockEndToEnd = HostOnDisplayTest<true>;

TEST_F(PointerLockEndToEnd, RawMovementAndClicksReachThePageWhileTheCursorStaysCentred) {
  game_.write("package.json", R"({"name": "e2e-pointer-lock", "window": {"width": 640,
                                  "height": 480}})");
  game_.write("www/index.html", kLockPage);
  HostProcess host(game_, display_->display());
  const Window window = waitForPage(host, "r=|m=|b=|p=off");
  ASSERT_NE(window, 0u);
  const auto run = [&](const std::string& script) { command(R"("eval":")" + script + R"(")"); };
  const auto titled = [&](const std::string& title) {
    return probe_->waitForTitle(window, title)
               ? ::testing::AssertionSuccess()
               : ::testing::AssertionFailure() << probe_->title(window);
  };
  const auto centred = [&] { return probe_->pointer() == OuterCentre(*probe_, window); };

  run("lock(true)");
  ASSERT_TRUE(titled("r=ok-true|m=|b=|p=off"));
  ASSERT_TRUE(X11Probe::waitFor(centred));

  // Exactly the deltas given, one message each, however far the barriers let it go.
  xdotool("mousemove_relative -- 7 -4");
  xdotool("mousemove_relative -- -3 5");
  xdotool("mousemove_relative -- 2000 0");
  EXPECT_TRUE(titled("r=ok-true|m=7,-4;-3,5;2000,0|b=|p=off"));
  ASSERT_TRUE(X11Probe::waitFor(centred));

  // Nothing grabs the pointer: a click and a wheel step at the centre reach the page,
  // and the click takes the page's own lock beside the host's.
  auto [originX, originY] = probe_->clientOrigin(window);
  auto [centreX, centreY] = OuterCentre(*probe_, window);
  const std::string buttons = "|b=down@" + std::to_string(centreX - originX) + "," +
                              std::to_string(centreY - originY) + ";up;wheel-down";
  xdotool("click 1");
  xdotool("click 5");
  EXPECT_TRUE(titled("r=ok-true|m=7,-4;-3,5;2000,0" + buttons + "|p=on"));

  // The browser grabs the pointer for the page's lock; raw movement still arrives.
  xdotool("mousemove_relative -- 6 -2");
  EXPECT_TRUE(titled("r=ok-true|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=on"));

  // A second enable is silent; after disabling no movement arrives, the next lock
  // starts afresh.
  run("document.exitPointerLock(); lock(true); lock(false)");
  ASSERT_TRUE(titled("r=ok-true,ok-false|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=off"));
  xdotool("mousemove_relative -- 5 5");
  run("lock(true)");
  ASSERT_TRUE(titled("r=ok-true,ok-false,ok-true|m=7,-4;-3,5;2000,0;6,-2" + buttons + "|p=off"));
  xdotool("mousemove_relative -- 9 9");
  EXPECT_TRUE(
      titled("r=ok-true,ok-false,ok-true|m=7,-4;-3,5;2000,0;6,-2;9,9" + buttons + "|p=off"));

  run("window.close()");
  EXPECT_EQ(host.waitForExit(60s), 0) << host.standardError();
}

}  // namespace
}  // namespace tavrelle::test
