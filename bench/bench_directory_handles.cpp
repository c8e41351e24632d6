// The page's folder handles in the whole host: a 100 MB file read through getFile() and
// written through createWritable(), timed inside the page, under Xvfb.

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/HostProcess.h"
#include "support/TempDir.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

constexpr size_t kFileSize = size_t{100} << 20;

// Runs the step named in www/cmd.json and shows "<step>#<seq>:<milliseconds>" in the title.
constexpr const char* kPage = R"(<!doctype html><title>bench</title><script>
const grants = [];
chrome.webview.addEventListener('message', (e) => {
  if (e.data.type === 'directory-handles') grants.push(e.additionalObjects);
  if (e.data.type === 'wrapper-init-response') document.title = 'ready';
});
chrome.webview.postMessage(JSON.stringify({type: 'wrapper-init'}));
const docs = () => grants[grants.length - 1][6];
const bytes = new Uint8Array(100 << 20);
for (let i = 0; i < bytes.length; i += 4096) bytes[i] = i & 0xff;
const steps = {
  async read() {
    const start = performance.now();
    const file = await (await docs().getFileHandle('big.bin')).getFile();
    const buffer = await file.arrayBuffer();
    if (buffer.byteLength !== bytes.length) throw new Error('short read');
    return performance.now() - start;
  },
  async write() {
    const start = performance.now();
    const handle = await docs().getFileHandle('written.bin', {create: true});
    const stream = await handle.createWritable();
    await stream.write(bytes);
    await stream.close();
    return performance.now() - start;
  },
};
let lastSeq = 0;
async function poll() {
  try {
    const command = await (await fetch('cmd.json', {cache: 'no-store'})).json();
    if (command.seq > lastSeq) {
      lastSeq = command.seq;
      try {
        document.title = command.step + '#' + command.seq + ':' + await steps[command.step]();
      } catch (e) {
        document.title = command.step + '#' + command.seq + ':failed ' + e.name + ' ' + e.message;
      }
    }
  } catch (e) {}
  setTimeout(poll, 20);
}
poll();
</script>)";

// One display, one home and one running host for all repetitions.
struct HandlesScene {
  XvfbSession display{XvfbSession::Options{false, 1024, 768}};
  TempDir home;
  std::unique_ptr<StagedGame> game;
  std::unique_ptr<HostProcess> host;
  std::unique_ptr<X11Probe> probe;
  Window window = 0;
  int seq = 0;
  std::string error;

  HandlesScene() {
    if (!display.ready()) {
      error = display.error();
      return;
    }
    std::vector<char> data(kFileSize);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 2654435761u) >> 13);
    home.makeFolder("Documents");
    std::ofstream(home.pathOf("Documents/big.bin"), std::ios::binary)
        .write(data.data(), data.size());
    game = std::make_unique<StagedGame>(TAVRELLE_HOST);
    game->write("package.json", R"({"name": "handles-bench"})");
    game->write("www/index.html", kPage);
    host = std::make_unique<HostProcess>(
        *game, display.display(),
        std::vector<std::string>{"HOME=" + home.path(), "XDG_CONFIG_HOME"});
    probe = std::make_unique<X11Probe>(display.display());
    bool ready = X11Probe::waitFor([&] {
      window = probe->findHostWindow(host->pid()).value_or(0);
      return window != 0 && probe->title(window) == "ready";
    });
    if (!ready) error = "the page did not start: " + host->standardError();
  }

  // Milliseconds the page took for the step; nothing on failure.
  std::optional<double> run(const std::string& step) {
    ++seq;
    const std::string path = game->folder() + "/www/cmd.json";
    std::ofstream(path + ".tmp") << R"({"seq":)" << seq << R"(,"step":")" << step << R"("})";
    std::filesystem::rename(path + ".tmp", path);
    // The sequence number tells this run's result from the previous run's of the step.
    const std::string prefix = step + "#" + std::to_string(seq) + ":";
    std::string title;
    bool done =
        X11Probe::waitFor([&] { return (title = probe->title(window)).starts_with(prefix); },
                          std::chrono::seconds(60));
    if (!done) return std::nullopt;
    try {
      return std::stod(title.substr(prefix.size()));
    } catch (const std::exception&) {
      error = title;
      return std::nullopt;
    }
  }
};

HandlesScene& Scene() {
  static const std::unique_ptr<HandlesScene> scene = std::make_unique<HandlesScene>();
  return *scene;
}

void RunStep(benchmark::State& state, const std::string& step) {
  HandlesScene& scene = Scene();
  if (!scene.error.empty()) {
    state.SkipWithError(scene.error.c_str());
    return;
  }
  for (auto _ : state) {
    std::optional<double> ms = scene.run(step);
    if (!ms) {
      state.SkipWithError(("the " + step + " failed: " + scene.error).c_str());
      return;
    }
    state.SetIterationTime(*ms / 1000.0);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileSize));
}

void BM_ReadThroughGetFile(benchmark::State& state) { RunStep(state, "read"); }
void BM_WriteThroughCreateWritable(benchmark::State& state) { RunStep(state, "write"); }

BENCHMARK(BM_ReadThroughGetFile)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WriteThroughCreateWritable)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

}  // namespace
}  // namespace tavrelle::test
