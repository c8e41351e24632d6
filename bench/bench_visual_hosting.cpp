// Visual hosting as a player meets it, under Xvfb with a window manager and the real
// browser: in capture mode at 1280 x 720, how many frames the host presents each second
// and how much processor time its renderer thread spends per presented frame; in regular
// visual mode, the time from a click on the host's window to the page's mousedown.

#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

using Clock = std::chrono::steady_clock;

// A page that draws a new picture every frame, and that stamps each mousedown with the
// wall clock, in milliseconds with fractions.
constexpr const char* kBusyPage = R"(<!doctype html><html><head><title>bench</title><style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #123; }
#box { position: absolute; top: 100px; width: 200px; height: 200px; background: #fc0; }
</style></head><body><div id="box"></div><script>
window.downs = [];
addEventListener('mousedown', () => downs.push(performance.timeOrigin + performance.now()));
let x = 0;
function frame() { x = (x + 7) % 1000; box.style.left = x + 'px'; requestAnimationFrame(frame); }
requestAnimationFrame(frame);
chrome.webview.addEventListener('message', e => {
  // Ready once a frame has been painted: the browser drops input that comes before.
  if (e.data.type === 'wrapper-init-response')
    requestAnimationFrame(() => requestAnimationFrame(() => { document.title = 'ready'; }));
});
chrome.webview.postMessage(JSON.stringify({type: 'wrapper-init'}));
setInterval(() => { if (downs.length) document.title = 'downs:' + downs.join(','); }, 20);
</script></body></html>)";

std::unique_ptr<StagedGame> StageGame(bool useCapture) {
  auto game = std::make_unique<StagedGame>(TAVRELLE_HOST);
  game->write("package.json",
              std::string(R"({"name": "bench-visual", "window": {"width": 1280, "height": 720},
                  "settings": {"hosting-mode": "visual", "use-capture": )") +
                  (useCapture ? "true" : "false") + "}}");
  game->write("www/index.html", kBusyPage);
  return game;
}

// Processor time of the host's renderer thread so far, in seconds; nothing when absent.
std::optional<double> RendererThreadSeconds(pid_t pid) {
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name != "Renderer thread") continue;
    std::ifstream statFile(task.path() / "stat");
    std::string stat((std::istreambuf_iterator<char>(statFile)), {});
    // Fields after the closing parenthesis of the name: utime is the 14th, stime the 15th.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; index <= 15 && fields >> field; ++index) {
      if (index >= 14) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
  return std::nullopt;
}

struct Scene {
  XvfbSession display{XvfbSession::Options{true, 1600, 1000, {}}};
  std::unique_ptr<X11Probe> probe;
};

Scene& TheScene() {
  static const std::unique_ptr<Scene> scene = [] {
    auto fresh = std::make_unique<Scene>();
    if (fresh->display.ready()) fresh->probe = std::make_unique<X11Probe>(fresh->display.display());
    return fresh;
  }();
  return *scene;
}

std::optional<Window> StartedWindow(HostProcess& host, X11Probe& probe) {
  std::optional<Window> window;
  bool ready = X11Probe::waitFor([&] {
    if (!window) window = probe.findHostWindow(host.pid());
    return window && probe.isViewable(*window) && probe.title(*window) == "ready";
  });
  return ready ? window : std::nullopt;
}

// Counts the copies the host makes onto its window, as DAMAGE reports them.
class PresentCounter {
 public:
  PresentCounter(const std::string& name, Window window) : display_(XOpenDisplay(name.c_str())) {
    int error = 0;
    XDamageQueryExtension(display_, &damageEvent_, &error);
    damage_ = XDamageCreate(display_, window, XDamageReportRawRectangles);
    XSync(display_, False);
  }
  ~PresentCounter() {
    XDamageDestroy(display_, damage_);
    XCloseDisplay(display_);
  }
  PresentCounter(const PresentCounter&) = delete;
  PresentCounter& operator=(const PresentCounter&) = delete;

  // Whole-window copies seen in the interval.
  int countFor(std::chrono::seconds interval, int width, int height) {
    int copies = 0;
    const Clock::time_point end = Clock::now() + interval;
    while (Clock::now() < end) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != damageEvent_ + XDamageNotify) continue;
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        if (damage.area.width == width && damage.area.height == height) ++copies;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return copies;
  }

 private:
  Display* display_;
  int damageEvent_ = 0;
  Damage damage_ = None;
};

void BM_CapturePresentedFramesAt1280x720(benchmark::State& state) {
  Scene& scene = TheScene();
  if (!scene.display.ready()) {
    state.SkipWithError(scene.display.error().c_str());
    return;
  }
  auto game = StageGame(true);
  HostProcess host(*game, scene.display.display());
  std::optional<Window> window = StartedWindow(host, *scene.probe);
  if (!window) {
    state.SkipWithError("the host did not show the page");
    return;
  }
  PresentCounter counter(scene.display.display(), *window);
  counter.countFor(std::chrono::seconds(2), 1280, 720);  // settle
  for (auto _ : state) {
    const std::optional<double> cpuBefore = RendererThreadSeconds(host.pid());
    const Clock::time_point start = Clock::now();
    const int presents = counter.countFor(std::chrono::seconds(10), 1280, 720);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const std::optional<double> cpuAfter = RendererThreadSeconds(host.pid());
    if (!cpuBefore || !cpuAfter || presents == 0) {
      state.SkipWithError("no renderer thread or no frames presented");
      return;
    }
    state.SetIterationTime(seconds);
    state.counters["presented_per_s"] = presents / seconds;
    state.counters["host_ms_per_frame"] = (*cpuAfter - *cpuBefore) * 1000.0 / presents;
  }
}
BENCHMARK(BM_CapturePresentedFramesAt1280x720)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

// Presses the left button through the X server's test extension (loaded at run time:
// only its library is needed, not its headers).
class PointerInjector {
 public:
  explicit PointerInjector(const std::string& name)
      : display_(XOpenDisplay(name.c_str())), library_(dlopen("libXtst.so.6", RTLD_NOW)) {
    if (library_ == nullptr) return;
    motion_ = reinterpret_cast<MotionFunction>(dlsym(library_, "XTestFakeMotionEvent"));
    button_ = reinterpret_cast<ButtonFunction>(dlsym(library_, "XTestFakeButtonEvent"));
  }
  ~PointerInjector() {
    XCloseDisplay(display_);
    if (library_ != nullptr) dlclose(library_);
  }
  PointerInjector(const PointerInjector&) = delete;
  PointerInjector& operator=(const PointerInjector&) = delete;

  [[nodiscard]] bool usable() const { return motion_ != nullptr && button_ != nullptr; }
  void moveTo(int x, int y) {
    motion_(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
  }
  void click() {
    button_(display_, 1, True, CurrentTime);
    XFlush(display_);
    button_(display_, 1, False, CurrentTime);
    XSync(display_, False);
  }

 private:
  using MotionFunction = int (*)(Display*, int, int, int, unsigned long);
  using ButtonFunction = int (*)(Display*, unsigned int, Bool, unsigned long);
  Display* display_;
  void* library_;
  MotionFunction motion_ = nullptr;
  ButtonFunction button_ = nullptr;
};

double EpochMilliseconds() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void BM_ClickToPageMousedown(benchmark::State& state) {
  Scene& scene = TheScene();
  PointerInjector pointer(scene.display.display());
  if (!scene.display.ready() || !pointer.usable()) {
    state.SkipWithError("no display or no XTest library");
    return;
  }
  auto game = StageGame(false);
  HostProcess host(*game, scene.display.display());
  std::optional<Window> window = StartedWindow(host, *scene.probe);
  if (!window) {
    state.SkipWithError("the host did not show the page");
    return;
  }
  pointer.moveTo(400, 400);
  int seen = 0;
  for (auto _ : state) {
    const double clickedAt = EpochMilliseconds();
    pointer.click();
    std::string title;
    const bool arrived = X11Probe::waitFor([&] {
      title = scene.probe->title(*window);
      return title.starts_with("downs:") && std::count(title.begin(), title.end(), ',') + 1 > seen;
    });
    if (!arrived) {
      state.SkipWithError("the page saw no mousedown");
      return;
    }
    ++seen;
    const double downAt = std::stod(title.substr(title.find_last_of(",:") + 1));
    state.SetIterationTime((downAt - clickedAt) / 1000.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(600));  // no double-clicks
  }
}
BENCHMARK(BM_ClickToPageMousedown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Repetitions(1);

}  // namespace
}  // namespace tavrelle::test
