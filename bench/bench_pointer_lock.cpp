// Pointer lock as a game feels it: from a raw mouse sample entering the X server
// (XTest relative motion) to the "pointer-lock-movement" message reaching the page's
// script, through the whole host, under Xvfb with a window manager.

#include <benchmark/benchmark.h>

#include <X11/Xlib.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

constexpr int kSamples = 400;

// The page notes when each movement arrived (wall clock, milliseconds) and, given the
// moments the samples were sent, reports the median and 99th percentile latency.
constexpr const char* kPage = R"(<!doctype html>
<html><head><title>start</title></head><body><script>
const host = window.chrome.webview;
const arrived = [];
host.addEventListener('message', e => {
  const m = e.data;
  if (m.type === 'pointer-lock-movement') arrived.push(performance.timeOrigin + performance.now());
  if (m.type === 'set-pointer-lock-enabled-response' && m.isOk) document.title = 'locked';
});
host.postMessage(JSON.stringify({type: 'wrapper-init'}));
host.postMessage(JSON.stringify({type: 'set-pointer-lock-enabled', isEnabled: true}));
async function poll() {
  try {
    const response = await fetch('sent.json');
    if (response.ok) {
      const sent = await response.json();
      if (arrived.length >= sent.length) {
        const latencies = sent.map((t, i) => arrived[i] - t).sort((a, b) => a - b);
        const at = q => latencies[Math.min(latencies.length - 1, Math.floor(latencies.length * q))];
        document.title = 'latency:' + at(0.5).toFixed(3) + ':' + at(0.99).toFixed(3) + ':' + arrived.length;
        return;
      }
    }
  } catch (e) {}
  setTimeout(poll, 100);
}
poll();
</script></body></html>)";

using FakeRelativeMotion = int (*)(Display*, int, int, unsigned long);

double WallClockMs() {
  return std::chrono::duration<double, std::milli>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

void BM_RawSampleToPageMessage(benchmark::State& state) {
  void* xtest = dlopen("libXtst.so.6", RTLD_NOW);
  auto fakeMotion =
      xtest ? reinterpret_cast<FakeRelativeMotion>(dlsym(xtest, "XTestFakeRelativeMotionEvent"))
            : nullptr;
  if (fakeMotion == nullptr) return state.SkipWithError("libXtst.so.6 is missing");
  XvfbSession display(XvfbSession::Options{true, 1280, 1024});
  if (!display.ready()) return state.SkipWithError(display.error().c_str());
  X11Probe probe(display.display());
  Display* x = XOpenDisplay(display.display().c_str());

  for (auto _ : state) {
    StagedGame game(TAVRELLE_HOST);
    game.write("package.json", R"({"name": "bench-pointer-lock"})");
    game.write("www/index.html", kPage);
    HostProcess host(game, display.display());
    std::optional<Window> window;
    if (!X11Probe::waitFor(
            [&] { return (window = probe.findHostWindow(host.pid())).has_value(); }) ||
        !X11Probe::waitFor([&] { return probe.title(*window) == "locked"; })) {
      return state.SkipWithError("the host did not lock the pointer");
    }
    std::vector<double> sent;
    sent.reserve(kSamples);
    for (int i = 0; i < kSamples; ++i) {
      sent.push_back(WallClockMs());
      fakeMotion(x, i % 2 == 0 ? 1 : -1, 0, CurrentTime);
      XFlush(x);
      // Spaced so that each sample is measured alone, not behind a queue of others.
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::ostringstream list;
    list.precision(15);
    list << '[';
    for (size_t i = 0; i < sent.size(); ++i) list << (i ? "," : "") << sent[i];
    list << ']';
    game.write("www/sent.json", list.str());
    std::string title;
    if (!X11Probe::waitFor(
            [&] { return (title = probe.title(*window)).starts_with("latency:"); })) {
      return state.SkipWithError(("no report from the page: " + title).c_str());
    }
    double median = 0;
    double p99 = 0;
    int count = 0;
    std::sscanf(title.c_str(), "latency:%lf:%lf:%d", &median, &p99, &count);
    state.counters["median_ms"] = median;
    state.counters["p99_ms"] = p99;
    state.counters["messages"] = count;
  }
  XCloseDisplay(x);
}
BENCHMARK(BM_RawSampleToPageMessage)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tavrelle::test
