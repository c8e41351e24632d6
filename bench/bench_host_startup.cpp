// Start-up as a player sees it: from starting the host to its window on screen, with
// the demo game, a reused browser profile, under Xvfb with a window manager.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

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
  bool shown = X11Probe::waitFor(
      [&] {
        if (!window) window = probe.findHostWindow(host.pid());
        return window && probe.isViewable(*window);
      },
      std::chrono::seconds(30));
  if (!shown) return std::nullopt;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// One display and one staged game for all repetitions.
struct StartupScene {
  XvfbSession display{XvfbSession::Options{true, 1280, 1024}};
  std::unique_ptr<X11Probe> probe;
  std::unique_ptr<StagedGame> game;
};

StartupScene& Scene() {
  static const std::unique_ptr<StartupScene> scene = [] {
    auto fresh = std::make_unique<StartupScene>();
    if (fresh->display.ready()) {
      fresh->probe = std::make_unique<X11Probe>(fresh->display.display());
      fresh->game = StageDemo();
      TimeToWindowShown(*fresh->game, fresh->display, *fresh->probe);  // creates the profile
    }
    return fresh;
  }();
  return *scene;
}

void BM_HostStartToWindowShown(benchmark::State& state) {
  StartupScene& scene = Scene();
  if (!scene.display.ready()) {
    state.SkipWithError(scene.display.error().c_str());
    return;
  }
  for (auto _ : state) {
    std::optional<double> seconds = TimeToWindowShown(*scene.game, scene.display, *scene.probe);
    if (!seconds) {
      state.SkipWithError("the window was not shown within 30 s");
      return;
    }
    state.SetIterationTime(*seconds);
  }
}
BENCHMARK(BM_HostStartToWindowShown)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tavrelle::test
