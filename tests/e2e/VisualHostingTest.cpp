// Visual hosting as a player sees it: the host relays the pointer to the page, shows the
// page's cursor and, in capture mode, presents the page's frames itself. The screen is
// read from the root window; the pointer and keys come from the X server (xdotool).

// gtest first: Xlib's macros (None) would break its declarations.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/HostOnDisplayTest.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;

// A blue page with a red square (cursor: pointer) in its top-left corner, a yellow bar
// that moves every frame, and a record of the input and host log lines it got.
const std::string kVisualPage = DrivenPage(R"(<title>visual</title><style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: rgb(0, 0, 255); }
#hand { position: absolute; left: 0; top: 0; width: 100px; height: 100px; cursor: pointer;
        background: rgb(255, 0, 0); }
#bar { position: absolute; left: 0; top: 150px; width: 40px; height: 40px;
       background: rgb(255, 255, 0); }
</style><div id="hand"></div><div id="bar"></div>)",
                                           R"(window.hostLogs = [];
window.events = [];
host.addEventListener('message', e => {
  if (e.data.type === 'log-to-console') hostLogs.push(e.data.logType + ':' + e.data.message);
  if (e.data.type === 'wrapper-init-response') document.title = 'ready';
});
addEventListener('mousedown', e => events.push('down:' + e.button + ':' + e.clientX + ':' + e.clientY));
addEventListener('mouseup', e => events.push('up:' + e.button));
addEventListener('dblclick', e => events.push('dblclick'));
addEventListener('wheel', e => events.push('wheel:' + Math.sign(e.deltaY)));
addEventListener('keydown', e => events.push('key:' + e.key));
addEventListener('contextmenu', e => e.preventDefault());
let x = 0;
function frame() { x = (x + 5) % 300; bar.style.left = x + 'px'; requestAnimationFrame(frame); }
requestAnimationFrame(frame);
)");

// A row of the screen as a player sees it, as bytes (to see whether it changes).
std::string ScreenRow(Display* display, int rootX, int rootY, int width) {
  XImage* image = XGetImage(display, DefaultRootWindow(display), rootX, rootY,
                            static_cast<unsigned>(width), 1, AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  std::string bytes(image->data, static_cast<size_t>(image->bytes_per_line));
  XDestroyImage(image);
  return bytes;
}

// The pixel there is near the colour (a 24-bit screen keeps blue, green, red, unused).
bool IsColour(Display* display, int rootX, int rootY, int red, int green, int blue) {
  const std::string pixel = ScreenRow(display, rootX, rootY, 1);
  const auto near = [&](size_t index, int value) {
    return pixel.size() > index && std::abs(static_cast<uint8_t>(pixel[index]) - value) < 8;
  };
  return near(0, blue) && near(1, green) && near(2, red);
}

// The name of the cursor shown now ("" when it has none).
std::string CursorName(Display* display) {
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (image == nullptr) return {};
  std::string name = image->name != nullptr ? image->name : "";
  XFree(image);
  return name;
}

std::string VisualPackage(bool useCapture) {
  return std::string(R"({"name": "e2e-visual", "window": {"title": "visual", "width": 640,
      "height": 480}, "settings": {"hosting-mode": "visual", "use-capture": )") +
         (useCapture ? "true" : "false") + "}}";
}

struct VisualMode {
  bool useCapture;
  const char* logs;  // what the host tells the page about its start
};

class VisualModeTest : public HostOnDisplayTest<true>,
                       public ::testing::WithParamInterface<VisualMode> {
 protected:
  bool eventsInclude(Window window, const std::vector<std::string>& wanted) {
    return pageSays("events.join(',')", window, [&](const std::string& events) {
      return std::ranges::all_of(wanted, [&](const std::string& event) {
        return ("," + events + ",").find("," + event + ",") != std::string::npos;
      });
    });
  }

  void moveTo(Window window, int x, int y) {
    auto [originX, originY] = probe_->clientOrigin(window);
    xdotool("mousemove " + std::to_string(originX + x) + " " + std::to_string(originY + y));
  }

  // The page's blue fills the client area's far corner, and its bar moves.
  void expectThePagesPictureFills(Window window, int width, int height) {
    auto [x, y] = probe_->clientOrigin(window);
    Display* display = probe_->display();
    EXPECT_TRUE(X11Probe::waitFor([&] {
      return IsColour(display, x + width - 3, y + height - 3, 0, 0, 255) &&
             IsColour(display, x + 50, y + 50, 255, 0, 0);
    })) << "the screen does not show the page";
    const std::string before = ScreenRow(display, x, y + 170, 360);
    EXPECT_TRUE(X11Probe::waitFor([&] { return ScreenRow(display, x, y + 170, 360) != before; }))
        << "the page's picture does not move";
  }

  void expectInputAndCursorWork(Window window) {
    moveTo(window, 250, 300);
    xdotool("click 3");
    moveTo(window, 400, 320);
    xdotool("click --repeat 2 --delay 80 1");
    xdotool("click 5");
    xdotool("click 4");
    xdotool("key q");
    EXPECT_TRUE(eventsInclude(window, {"down:2:250:300", "up:2", "down:0:400:320", "dblclick",
                                       "wheel:1", "wheel:-1", "key:q"}));

    moveTo(window, 40, 40);
    moveTo(window, 50, 50);
    Display* display = probe_->display();
    EXPECT_TRUE(X11Probe::waitFor([&] { return CursorName(display) == "hand2"; }))
        << CursorName(display);
    moveTo(window, 300, 400);
    EXPECT_TRUE(X11Probe::waitFor([&] { return CursorName(display) == "left_ptr"; }))
        << CursorName(display);
  }
};

TEST_P(VisualModeTest, ShowsThePageAndRelaysInputAndCursor) {
  game_.write("package.json", VisualPackage(GetParam().useCapture));
  game_.write("www/index.html", kVisualPage);
  HostProcess host(game_, display_->display());
  const Window window = waitForPage(host, "ready");
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(pageSays("hostLogs.join('|')", window,
                       [&](const std::string& logs) { return logs == GetParam().logs; }));
  expectThePagesPictureFills(window, 640, 480);
  expectInputAndCursorWork(window);
  command(R"("post": {"type": "set-window-size", "windowWidth": 500, "windowHeight": 360})");
  ASSERT_TRUE(
      X11Probe::waitFor([&] { return probe_->clientSize(window) == std::make_pair(500, 360); }));
  expectThePagesPictureFills(window, 500, 360);
  command(R"js("eval": "window.close()")js");
  EXPECT_EQ(host.waitForExit(20s), 0) << host.standardError();
}

INSTANTIATE_TEST_SUITE_P(
    Modes, VisualModeTest,
    ::testing::Values(
        VisualMode{false, "normal:[Visual Hosting] Successfully initialized regular visual mode"},
        VisualMode{true,
                   "normal:[Renderer thread] Successfully initialized X11 presentation|"
                   "normal:[Visual Hosting] Successfully initialized visual capture mode"}),
    [](const auto& mode) { return mode.param.useCapture ? "Capture" : "Regular"; });

// A display without Composite cannot capture: the host says so and shows the page the
// regular way.
class VisualHostingFallbackTest : public HostOnDisplayTest<true, 1024, 768> {
 protected:
  static void SetUpTestSuite() {
    display_ = std::make_unique<XvfbSession>(XvfbSession::Options{true, 1024, 768, {"Composite"}});
  }
};

TEST_F(VisualHostingFallbackTest, WithoutCompositeCaptureFallsBackToRegularVisualMode) {
  game_.write("package.json", VisualPackage(true));
  game_.write("www/index.html", kVisualPage);
  HostProcess host(game_, display_->display());
  const Window window = waitForPage(host, "ready");
  ASSERT_NE(window, 0u);
  EXPECT_TRUE(pageSays("hostLogs.join('|')", window, [](const std::string& logs) {
    return logs ==
           "error:[Visual Hosting] Failed to obtain X11 presentation device|"
           "error:[Renderer thread] Failed to find the Composite extension (-2147467263)|"
           "error:[Visual Hosting] Failed to initialize visual capture mode (-2147467259), "
           "reverting to regular visual mode|"
           "normal:[Visual Hosting] Successfully initialized regular visual mode";
  })) << host.standardError();
}

}  // namespace
}  // namespace tavrelle::test
