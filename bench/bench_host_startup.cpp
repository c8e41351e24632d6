// Start-up as a player sees it: from starting the host to its window showing the demo
// game, with a reused browser profile, under Xvfb with a window manager; and, as the
// reference, the bare browser showing the same game from nginx in an app window (and,
// for information, an empty app window).

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "BenchSummary.h"
#include "LoopbackNginx.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "support/BundleBuilder.h"
#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

using Clock = std::chrono::steady_clock;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The demo game staged once: package.json and every file under www/.
std::unique_ptr<StagedGame> StageDemo() {
  auto game = std::make_unique<StagedGame>(TAVRELLE_HOST);
  std::filesystem::path demo = std::filesystem::path(TAVRELLE_SOURCE_DIR) / "examples/demo";
  game->write("package.json", ReadFile(demo / "package.json"));
  for (const auto& entry : std::filesystem::recursive_directory_iterator(demo / "www")) {
    if (!entry.is_regular_file()) continue;
    game->write(std::filesystem::relative(entry.path(), demo).string(), ReadFile(entry.path()));
  }
  return game;
}

// Seconds from spawning the host until its window is viewable; nothing on failure.
std::optional<double> TimeToWindowShown(const StagedGame& game, XvfbSession& display,
                                        X11Probe& probe) {
  auto start = Clock::now();
  HostProcess host(game, display.display());
  std::optional<Window> window;
  // Sampled as often as the bare browser's window below: neither side gains from the interval.
  while (Clock::now() - start < std::chrono::seconds(30)) {
    if (!window) window = probe.findHostWindow(host.pid());
    if (window && probe.isViewable(*window))
      return std::chrono::duration<double>(Clock::now() - start).count();
    usleep(2000);
  }
  return std::nullopt;
}

bool hasTitle(Display* display, Window window, const std::string& title) {
  if (title.empty()) return true;
  XTextProperty name{};  // the browser writes WM_NAME as UTF8_STRING
  bool same = XGetWMName(display, window, &name) != 0 && name.value != nullptr &&
              title == std::string(reinterpret_cast<char*>(name.value), name.nitems);
  if (name.value != nullptr) XFree(name.value);
  return same;
}

// A viewable top-level window of that process at least 100 pixels wide (the browser's
// small helper windows are never shown), showing the given page title if one is given.
bool browserWindowShown(Display* display, Window parent, pid_t pid, const std::string& title) {
  Window root = 0, parentOut = 0, *children = nullptr;
  unsigned int count = 0;
  if (XQueryTree(display, parent, &root, &parentOut, &children, &count) == 0) return false;
  Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);
  bool shown = false;
  for (unsigned int i = 0; i < count && !shown; ++i) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, children[i], pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data != nullptr && items == 1 && *reinterpret_cast<long*>(data) == pid) {
      XWindowAttributes attributes{};
      shown = XGetWindowAttributes(display, children[i], &attributes) != 0 &&
              attributes.map_state == IsViewable && attributes.width >= 100 &&
              hasTitle(display, children[i], title);
    }
    if (data != nullptr) XFree(data);
    if (!shown) shown = browserWindowShown(display, children[i], pid, title);
  }
  if (children != nullptr) XFree(children);
  return shown;
}

// What the bare browser shows: the demo from nginx (viewable once its title is the
// game's, as the host's window is once the game's document has loaded), or an empty
// page in the demo's colour (viewable at once).
struct BarePage {
  std::string url = "data:text/html,<body style='background:%23101220'>";
  std::string title;
  std::string executable = "/usr/bin/chromium";  // as a player starts it: the distribution's script
};

// Seconds from spawning the browser alone (an app window of the demo's size, the
// host's switches, a reused profile) until its window is viewable with the page.
std::optional<double> BareBrowserToWindowShown(const std::string& display,
                                               const std::string& profile, const BarePage& page) {
  std::vector<std::string> args{page.executable, "--user-data-dir=" + profile,
                                "--window-size=960,600", "--ozone-platform=x11",
                                "--app=" + page.url};
  for (auto& sw : chromium::quirks::noNetworkSwitches()) args.push_back(sw);
  for (auto& sw : chromium::quirks::noWarningBarSwitches()) args.push_back(sw);
  if (geteuid() == 0) {
    for (auto& sw : chromium::quirks::runningAsRootSwitches()) args.push_back(sw);
  }
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::string displayVariable = "DISPLAY=" + display;
  std::vector<char*> envp{displayVariable.data()};
  std::string home = std::string("HOME=") + (getenv("HOME") ? getenv("HOME") : "/tmp");
  envp.push_back(home.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  Display* x = XOpenDisplay(display.c_str());
  if (x == nullptr) return std::nullopt;
  auto start = Clock::now();
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  std::optional<double> seconds;
  if (spawned == 0) {
    while (Clock::now() - start < std::chrono::seconds(30)) {
      if (browserWindowShown(x, DefaultRootWindow(x), pid, page.title)) {
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        break;
      }
      usleep(2000);
    }
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  XCloseDisplay(x);
  return seconds;
}

// One display and one staged game for all repetitions.
struct StartupScene {
  XvfbSession display{XvfbSession::Options{true, 1280, 1024}};
  std::unique_ptr<X11Probe> probe;
  std::unique_ptr<StagedGame> game;
  std::unique_ptr<TempDir> bareProfile = std::make_unique<TempDir>();
  std::unique_ptr<bench::Nginx> nginx;  // serves the staged demo to the bare browser
  BarePage demoPage, demoPageFromBinary, emptyPage;
  std::vector<double> hostSeconds, bareDemoSeconds, bareBinarySeconds, bareEmptySeconds;
  ~StartupScene() {
    if (hostSeconds.empty()) return;
    double host = 1000 * bench::medianOf(hostSeconds);
    if (!bareDemoSeconds.empty())
      bench::addToSummary("start to the game shown (median)", "ms", host,
                          1000 * bench::medianOf(bareDemoSeconds), "<= 1.05x");
    if (!bareBinarySeconds.empty())
      bench::addToSummary("start to the game / bare binary, no script", "ms", host,
                          1000 * bench::medianOf(bareBinarySeconds), "-");
    if (!bareEmptySeconds.empty())
      bench::addToSummary("start to the game / bare empty window", "ms", host,
                          1000 * bench::medianOf(bareEmptySeconds), "-");
  }
};

StartupScene& Scene() {
  static const std::unique_ptr<StartupScene> scene = [] {
    auto fresh = std::make_unique<StartupScene>();
    if (fresh->display.ready()) {
      fresh->probe = std::make_unique<X11Probe>(fresh->display.display());
      fresh->game = StageDemo();
      fresh->nginx = std::make_unique<bench::Nginx>(fresh->game->folder() + "/www");
      fresh->demoPage = {"http://127.0.0.1:" + std::to_string(fresh->nginx->port()) + "/index.html",
                         "Tavrelle Demo"};
      fresh->demoPageFromBinary = fresh->demoPage;
      fresh->demoPageFromBinary.executable = "/usr/lib/chromium/chromium";
      TimeToWindowShown(*fresh->game, fresh->display, *fresh->probe);  // creates the profile
      BareBrowserToWindowShown(fresh->display.display(), fresh->bareProfile->path(),
                               fresh->demoPage);
    }
    return fresh;
  }();
  return *scene;
}

// The host and the bare browser take turns, round after round, so that a change in the
// machine's load during the run weighs on both sides alike.
void BM_StartToWindowShown(benchmark::State& state) {
  StartupScene& scene = Scene();
  if (!scene.display.ready()) {
    state.SkipWithError(scene.display.error().c_str());
    return;
  }
  const std::string& profile = scene.bareProfile->path();
  struct Contender {
    std::function<std::optional<double>()> run;
    std::vector<double>& seconds;
  };
  std::vector<Contender> contenders{
      {[&] { return TimeToWindowShown(*scene.game, scene.display, *scene.probe); },
       scene.hostSeconds},
      {[&] { return BareBrowserToWindowShown(scene.display.display(), profile, scene.demoPage); },
       scene.bareDemoSeconds},
      {[&] {
         return BareBrowserToWindowShown(scene.display.display(), profile,
                                         scene.demoPageFromBinary);
       },
       scene.bareBinarySeconds},
      {[&] { return BareBrowserToWindowShown(scene.display.display(), profile, scene.emptyPage); },
       scene.bareEmptySeconds}};
  for (auto _ : state) {
    for (int round = 0; round < 10; ++round) {
      for (auto& contender : contenders) {
        std::optional<double> seconds = contender.run();
        if (!seconds) return state.SkipWithError("a window was not shown within 30 s");
        contender.seconds.push_back(*seconds);
      }
    }
  }
  state.counters["host_ms"] = 1000 * bench::medianOf(scene.hostSeconds);
  state.counters["bare_ms"] = 1000 * bench::medianOf(scene.bareDemoSeconds);
  state.counters["bare_binary_ms"] = 1000 * bench::medianOf(scene.bareBinarySeconds);
  state.counters["bare_empty_ms"] = 1000 * bench::medianOf(scene.bareEmptySeconds);
}
BENCHMARK(BM_StartToWindowShown)->Iterations(1)->Unit(benchmark::kMillisecond);

// ----- Memory while serving a large bundle -----

constexpr uint64_t kMovieBytes = uint64_t{1} << 30;

// A page that seeks through a 1 GiB movie the way a media element does (open-ended
// ranges at many offsets, each answered with up to 2 MiB), then says it is done.
constexpr const char* kSeekingPage = R"(<!doctype html><title>seeking</title><script>
(async () => {
  const size = 1073741824;
  let bytes = 0;
  for (let i = 0; i < 100; i++) {
    const offset = Math.floor(((i * 7919) % 100) / 100 * (size - 4096));
    const response = await fetch('movie.bin', { headers: { Range: 'bytes=' + offset + '-' } });
    bytes += (await response.arrayBuffer()).byteLength;
  }
  document.title = 'done ' + bytes;
})();
</script>)";

// The bundle: header, a blob holding the page and then a 1 GiB hole for the movie, the
// directory. Nothing but the page takes disk space.
void WriteSparseBundle(const std::string& path) {
  std::string page = kSeekingPage;
  uint64_t blobSize = page.size() + kMovieBytes;
  std::vector<DirectoryEntry> entries{
      {.name = "index.html", .offset = 0, .size = page.size()},
      {.name = "movie.bin", .offset = page.size(), .size = kMovieBytes}};
  std::ofstream out(path, std::ios::binary);
  out << BundleHeader() << ChunkHeader("blob", blobSize) << page;
  out.seekp(static_cast<std::streamoff>(28 + blobSize));
  out << Chunk("fdir", DirectoryData(entries));
}

std::optional<uint64_t> AnonymousKilobytes(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("RssAnon:")) return std::stoull(line.substr(8));
  }
  return std::nullopt;
}

void BM_HostAnonymousMemoryServingALargeBundle(benchmark::State& state) {
  StartupScene& scene = Scene();
  if (!scene.display.ready()) {
    state.SkipWithError(scene.display.error().c_str());
    return;
  }
  StagedGame game(TAVRELLE_HOST);
  game.write("package.json", R"({"name": "bench-memory", "window": {"title": "Memory"},
      "bundle": {"type": "asset-bundle", "assets-path": "game.zxab"}})");
  WriteSparseBundle(game.folder() + "/game.zxab");
  for (auto _ : state) {
    HostProcess host(game, scene.display.display());
    uint64_t peakKilobytes = 0;
    std::optional<Window> window;
    bool done = X11Probe::waitFor(
        [&] {
          if (auto kilobytes = AnonymousKilobytes(host.pid()))
            peakKilobytes = std::max(peakKilobytes, *kilobytes);
          if (!window) window = scene.probe->findHostWindow(host.pid());
          return window && scene.probe->title(*window).starts_with("done");
        },
        std::chrono::seconds(120));
    if (!done) {
      state.SkipWithError("the seeking page did not finish within 120 s");
      return;
    }
    state.counters["peak_anonymous_MB"] = static_cast<double>(peakKilobytes) / 1024.0;
    bench::addToSummary("host anonymous memory, 1 GiB bundle with seeks (peak)", "MB",
                        static_cast<double>(peakKilobytes) / 1024.0, {}, "< 30");
  }
}
BENCHMARK(BM_HostAnonymousMemoryServingALargeBundle)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrelle::test
