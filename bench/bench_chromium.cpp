// The Chromium web view runtime: page fetches through interception against nginx
// serving the same files to the same browser, page/host message round trips and
// bursts, and browser spawn to DOMContentLoaded. Headless, Debian's chromium.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "BenchSummary.h"
#include "LoopbackNginx.h"
#include "platform/chromium/BrowserCommandLine.h"
#include "platform/chromium/BrowserProcess.h"
#include "platform/chromium/DevToolsClient.h"
#include "platform/chromium/DevToolsPipe.h"
#include "platform/chromium/LocatedChromiumRuntime.h"
#include "platform/linux/ChildProcess.h"
#include "platform/linux/PollEventLoop.h"

namespace {

using namespace tavrelle;
using bench::Nginx;
using nlohmann::json;
using Clock = std::chrono::steady_clock;

class SharedBytes final : public webview::ResponseBody {
 public:
  explicit SharedBytes(std::shared_ptr<const std::string> bytes) : bytes_(std::move(bytes)) {}
  [[nodiscard]] uint64_t size() const override { return bytes_->size(); }
  size_t read(uint64_t offset, std::span<std::byte> out) const override {
    if (offset >= bytes_->size()) return 0;
    size_t n = std::min<size_t>(out.size(), bytes_->size() - offset);
    std::memcpy(out.data(), bytes_->data() + offset, n);
    return n;
  }
  [[nodiscard]] std::span<const std::byte> contiguousBytes() const override {
    return std::as_bytes(std::span(*bytes_));
  }

 private:
  std::shared_ptr<const std::string> bytes_;
};

const char* kPage = R"(<!doctype html><title>bench</title><script>
chrome.webview.addEventListener('message', async (e) => {
  const m = e.data;
  if (m.type === 'ping') chrome.webview.postMessage('pong');
  else if (m.type === 'burst') { for (let i = 0; i < m.n; i++) chrome.webview.postMessage('b'); chrome.webview.postMessage('burst-done'); }
  else if (m.type === 'count') { window.count = (window.count || 0) + 1; if (window.count === m.n) { window.count = 0; chrome.webview.postMessage('counted'); } }
  else if (m.type === 'small') {
    try {
      const start = performance.now();
      let next = 0, failed = 0;
      const worker = async () => {
        while (next < m.count) {
          const i = next++;
          const response = await fetch(m.base + 'small-' + i + '.bin');
          if ((await response.arrayBuffer()).byteLength !== m.size) failed++;
        }
      };
      await Promise.all(Array.from({ length: m.parallel }, worker));
      chrome.webview.postMessage(JSON.stringify({ ms: performance.now() - start, failed }));
    } catch (error) {
      chrome.webview.postMessage(JSON.stringify({ error: String(error) }));
    }
  }
  else if (m.type === 'fetch') {
    try {
      const start = performance.now();
      const bytes = await (await fetch(m.url)).arrayBuffer();
      chrome.webview.postMessage(JSON.stringify({ ms: performance.now() - start, length: bytes.byteLength }));
    } catch (error) {
      chrome.webview.postMessage(JSON.stringify({ error: String(error) }));
    }
  }
});
</script>)";

std::string tempFolder() {
  char folder[] = "/tmp/tavrelle-bench-XXXXXX";
  return mkdtemp(folder);
}

class BenchBrowser {
 public:
  BenchBrowser() : folder_(tempFolder()) {}
  ~BenchBrowser() {
    controller.reset();
    std::filesystem::remove_all(folder_);
  }

  // Starts the browser and loads the page; the seconds from spawn to DOMContentLoaded.
  std::optional<double> start() {
    runtime_ = std::make_unique<chromium::LocatedChromiumRuntime>(
        loop, chromium::ChromiumRuntimeOptions{true, nullptr});
    if (!runtime_->locator().GetAvailableBrowserVersionString(std::nullopt)) return std::nullopt;
    auto began = Clock::now();
    std::shared_ptr<webview::WebViewEnvironment> environment;
    runtime_->locator().CreateEnvironmentWithOptions(
        std::nullopt, folder_ + "/profile", {"--mute-audio", {}},
        [&](const webview::CreationResult&, auto env) { environment = env; });
    if (!runUntil([&] { return environment != nullptr; })) return std::nullopt;
    bool done = false;
    environment->CreateCoreWebView2ControllerWithOptions(
        0, {}, [&](const webview::CreationResult&, auto c) {
          controller = c;
          done = true;
        });
    if (!runUntil([&] { return done; }) || !controller) return std::nullopt;
    webView = &controller->get_CoreWebView2();
    webView->AddWebResourceRequestedFilter("https://tavrelle.localhost/*",
                                           webview::WebResourceContext::All);
    webView->add_WebResourceRequested(
        [this](webview::WebResourceRequestedEventArgs& args) { answer(args); });
    webView->add_WebMessageReceived([this](webview::WebMessageReceivedEventArgs& args) {
      if (args.TryGetWebMessageAsString()) messages.push_back(*args.TryGetWebMessageAsString());
    });
    int loaded = 0;
    webView->add_DOMContentLoaded([&loaded] { ++loaded; });
    files["https://tavrelle.localhost/index.html"] = std::make_shared<const std::string>(kPage);
    webView->Navigate("https://tavrelle.localhost/index.html");
    if (!runUntil([&] { return loaded > 0; })) return std::nullopt;
    return std::chrono::duration<double>(Clock::now() - began).count();
  }

  bool runUntil(const std::function<bool()>& pred,
                std::chrono::seconds timeout = std::chrono::seconds(60)) {
    auto deadline = Clock::now() + timeout;
    while (!pred() && Clock::now() < deadline) loop.runOnce(std::chrono::milliseconds(5));
    return pred();
  }

  std::optional<std::string> nextMessage() {
    if (!runUntil([&] { return !messages.empty(); })) return std::nullopt;
    std::string m = messages.front();
    messages.erase(messages.begin());
    return m;
  }

  void answer(webview::WebResourceRequestedEventArgs& args) {
    auto file = files.find(args.get_Request().uri);
    if (file == files.end()) return;
    bool html = args.get_Request().uri.ends_with(".html");
    args.put_Response({std::make_shared<SharedBytes>(file->second), 200, "OK",
                       std::string("Cache-Control: no-store\nContent-Type: ") +
                           (html ? "text/html" : "application/octet-stream") +
                           "\nContent-Length: " + std::to_string(file->second->size())});
  }

  const std::string& folder() const { return folder_; }

  linux_platform::PollEventLoop loop;
  std::shared_ptr<webview::WebViewController> controller;
  webview::WebView* webView = nullptr;
  std::map<std::string, std::shared_ptr<const std::string>> files;
  std::vector<std::string> messages;

 private:
  std::string folder_;
  std::unique_ptr<chromium::LocatedChromiumRuntime> runtime_;
};

// The figures for the summary, written when the program ends.
struct Figures {
  std::map<int64_t, double> hostFetchMs, nginxFetchMs;
  std::optional<double> hostSmallPerS, nginxSmallPerS, roundTripUs, bareRoundTripUs, hostToPagePerS,
      pageToHostPerS;
  std::optional<double> hostToPagePerCpuS, pageToHostPerCpuS;
  ~Figures() {
    for (auto [megabytes, hostMs] : hostFetchMs) {
      std::optional<double> reference;
      if (nginxFetchMs.contains(megabytes)) reference = nginxFetchMs[megabytes];
      const char* target = megabytes == 1 ? "<= 1.2x" : megabytes == 16 ? "<= 1.1x" : "<= 1.05x";
      bench::addToSummary("fetch " + std::to_string(megabytes) + " MiB (median)", "ms", hostMs,
                          reference, target);
    }
    if (hostSmallPerS) {
      bench::addToSummary("2000 small files, 32 at a time", "files/s", *hostSmallPerS,
                          nginxSmallPerS, ">= 1x");
    }
    if (roundTripUs)
      bench::addToSummary("message round trip (median)", "us", *roundTripUs, bareRoundTripUs,
                          "<= 250");
    if (hostToPagePerS)
      bench::addToSummary("host-to-page burst, wall clock (median)", "messages/s", *hostToPagePerS,
                          {}, ">= 500000");
    if (hostToPagePerCpuS)
      bench::addToSummary("host-to-page burst, per main-thread CPU s", "messages/s",
                          *hostToPagePerCpuS, {}, "-");
    if (pageToHostPerS)
      bench::addToSummary("page-to-host burst, wall clock (median)", "messages/s", *pageToHostPerS,
                          {}, "-");
    if (pageToHostPerCpuS)
      bench::addToSummary("page-to-host burst, per main-thread CPU s", "messages/s",
                          *pageToHostPerCpuS, {}, "-");
  }
};
Figures figures;

// CPU seconds of the calling thread: Google Benchmark's rate counters divide by this.
double threadCpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Shared by the benchmarks; ended (browser closed, nginx stopped) at exit.
BenchBrowser* shared() {
  static std::unique_ptr<BenchBrowser> browser = [] {
    auto b = std::make_unique<BenchBrowser>();
    if (!b->start()) b.reset();
    return b;
  }();
  return browser.get();
}

Nginx* sharedNginx() {
  static std::unique_ptr<Nginx> nginx =
      shared() ? std::make_unique<Nginx>(shared()->folder()) : nullptr;
  return nginx.get();
}

std::string fileOfSize(int64_t megabytes) { return "file-" + std::to_string(megabytes) + "mb.bin"; }

void prepareFile(BenchBrowser& browser, int64_t megabytes) {
  std::string name = fileOfSize(megabytes);
  std::string url = "https://tavrelle.localhost/" + name;
  if (browser.files.contains(url)) return;
  auto bytes = std::make_shared<std::string>(static_cast<size_t>(megabytes) << 20, '\0');
  for (size_t i = 0; i < bytes->size(); i += 4096) (*bytes)[i] = static_cast<char>(i >> 12);
  std::ofstream(browser.folder() + "/" + name, std::ios::binary)
      .write(bytes->data(), static_cast<std::streamsize>(bytes->size()));
  browser.files[url] = bytes;
}

// One fetch of the file by the page; its milliseconds, nothing on failure.
std::optional<double> fetchOnce(BenchBrowser& browser, const std::string& url, int64_t megabytes) {
  browser.webView->PostWebMessageAsJson(json{{"type", "fetch"}, {"url", url}}.dump());
  auto reply = browser.nextMessage();
  auto result = reply ? json::parse(*reply, nullptr, false) : json();
  if (!result.is_object() || result.value("length", 0) != megabytes << 20) return std::nullopt;
  return result["ms"].get<double>();
}

// The host and nginx fetch the same file in turns (each going first every other time),
// so that a change in the machine's load weighs on both alike. Timed: the host.
void BM_PageFetchHostAndNginx(benchmark::State& state) {
  auto* browser = shared();
  if (!browser || !sharedNginx() || !sharedNginx()->running()) {
    state.SkipWithError("no browser or nginx");
    return;
  }
  int64_t megabytes = state.range(0);
  prepareFile(*browser, megabytes);
  std::string hostUrl = "https://tavrelle.localhost/" + fileOfSize(megabytes);
  std::string nginxUrl =
      "http://127.0.0.1:" + std::to_string(sharedNginx()->port()) + "/" + fileOfSize(megabytes);
  std::vector<double> hostTimes, nginxTimes;
  bool hostFirst = true;
  for (auto _ : state) {
    std::optional<double> host, nginx;
    if (hostFirst) host = fetchOnce(*browser, hostUrl, megabytes);
    nginx = fetchOnce(*browser, nginxUrl, megabytes);
    if (!hostFirst) host = fetchOnce(*browser, hostUrl, megabytes);
    hostFirst = !hostFirst;
    if (!host || !nginx) {
      state.SkipWithError("a fetch failed");
      return;
    }
    state.SetIterationTime(*host / 1000.0);
    hostTimes.push_back(*host);
    nginxTimes.push_back(*nginx);
  }
  state.SetBytesProcessed(state.iterations() * (megabytes << 20));
  state.counters["host_ms"] = bench::medianOf(hostTimes);
  state.counters["nginx_ms"] = bench::medianOf(nginxTimes);
  figures.hostFetchMs[megabytes] = bench::medianOf(hostTimes);
  figures.nginxFetchMs[megabytes] = bench::medianOf(nginxTimes);
}

constexpr int kSmallFiles = 2000;
constexpr int kSmallFileBytes = 4096;

void smallFilesIn(benchmark::State& state, bool throughNginx) {
  auto* browser = shared();
  if (!browser || (throughNginx && (!sharedNginx() || !sharedNginx()->running()))) {
    state.SkipWithError("no browser or nginx");
    return;
  }
  std::string bytes(kSmallFileBytes, 's');
  auto sharedBytes = std::make_shared<const std::string>(bytes);
  for (int i = 0; i < kSmallFiles; ++i) {
    std::string name = "small-" + std::to_string(i) + ".bin";
    if (browser->files.emplace("https://tavrelle.localhost/" + name, sharedBytes).second) {
      std::ofstream(browser->folder() + "/" + name, std::ios::binary) << bytes;
    }
  }
  std::string base = throughNginx
                         ? "http://127.0.0.1:" + std::to_string(sharedNginx()->port()) + "/"
                         : std::string("https://tavrelle.localhost/");
  std::vector<double> rates;
  for (auto _ : state) {
    browser->webView->PostWebMessageAsJson(json{
        {"type", "small"},
        {"base", base},
        {"count", kSmallFiles},
        {"size", kSmallFileBytes},
        {"parallel", 32}}.dump());
    auto reply = browser->nextMessage();
    auto result = reply ? json::parse(*reply, nullptr, false) : json();
    if (!result.is_object() || !result.contains("ms") || result.value("failed", 1) != 0) {
      state.SkipWithError(("small files failed: " + reply.value_or("no reply")).c_str());
      return;
    }
    state.SetIterationTime(result["ms"].get<double>() / 1000.0);
    rates.push_back(kSmallFiles * 1000.0 / result["ms"].get<double>());
  }
  state.counters["files_per_s"] = bench::medianOf(rates);
  (throughNginx ? figures.nginxSmallPerS : figures.hostSmallPerS) = bench::medianOf(rates);
}

void BM_SmallFilesIntercepted(benchmark::State& state) { smallFilesIn(state, false); }
void BM_SmallFilesNginx(benchmark::State& state) { smallFilesIn(state, true); }
BENCHMARK(BM_SmallFilesIntercepted)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SmallFilesNginx)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK(BM_PageFetchHostAndNginx)
    ->Arg(1)
    ->Arg(16)
    ->Arg(64)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(7);

void BM_MessageRoundTrip(benchmark::State& state) {
  auto* browser = shared();
  if (!browser) return state.SkipWithError("no browser");
  std::vector<double> trips;
  for (auto _ : state) {
    trips.clear();
    for (int i = 0; i < 2000; ++i) {
      auto began = Clock::now();
      browser->webView->PostWebMessageAsJson(R"({"type":"ping"})");
      if (browser->nextMessage() != "pong") return state.SkipWithError("no pong");
      // The warm half, as for the bare browser below.
      if (i >= 1000)
        trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - began).count());
    }
  }
  std::sort(trips.begin(), trips.end());
  state.counters["median_us"] = trips[trips.size() / 2];
  figures.roundTripUs = trips[trips.size() / 2];
  state.counters["p99_us"] = trips[trips.size() * 99 / 100];
}
BENCHMARK(BM_MessageRoundTrip)->Iterations(1)->Unit(benchmark::kMillisecond);

// The browser's own floor for that round trip: a bare headless browser, driven through
// the same pipe and client with no web view, page script or message layer, evaluates a
// call of a binding and reports the call. Microseconds, median of the warm half.
std::optional<double> bareBrowserRoundTripUs(const std::string& profile) {
  linux_platform::PollEventLoop loop;
  chromium::BrowserLaunchSettings settings;
  settings.executable = "/usr/bin/chromium";
  settings.userDataFolder = profile;
  settings.headless = true;
  settings.runningAsRoot = geteuid() == 0;
  auto launched = chromium::BrowserProcess::launch(chromium::browserCommandLine(settings), {});
  if (!launched.process) return std::nullopt;
  chromium::DevToolsPipe pipe(loop, launched.toBrowserFd, launched.fromBrowserFd);
  chromium::DevToolsClient client(pipe);
  auto runUntil = [&](const std::function<bool()>& done) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    while (!done() && Clock::now() < deadline) loop.runOnce(std::chrono::milliseconds(5));
    return done();
  };
  std::string session;
  client.on("Target.targetCreated", [&](const json& params, const std::string&) {
    const json& target = params["targetInfo"];
    if (target.value("type", std::string()) != "page" || target.value("attached", false)) return;
    client.send("Target.attachToTarget", {{"targetId", target["targetId"]}, {"flatten", true}}, {},
                [&](const chromium::DevToolsReply& attached) {
                  if (session.empty()) session = attached.result.value("sessionId", std::string());
                });
  });
  client.send("Target.setDiscoverTargets", {{"discover", true}});
  int calls = 0;
  client.on("Runtime.bindingCalled", [&](const json&, const std::string&) { ++calls; });
  bool ready = false;
  if (!runUntil([&] { return !session.empty(); })) return std::nullopt;
  client.send("Runtime.enable", {}, session);
  client.send("Runtime.addBinding", {{"name", "probe"}}, session,
              [&](const chromium::DevToolsReply&) { ready = true; });
  if (!runUntil([&] { return ready; })) return std::nullopt;
  std::vector<double> trips;
  for (int i = 0; i < 2000; ++i) {
    auto began = Clock::now();
    client.send("Runtime.evaluate", {{"expression", "probe('pong')"}}, session);
    if (!runUntil([&] { return calls == i + 1; })) return std::nullopt;
    if (i >= 1000)
      trips.push_back(std::chrono::duration<double, std::micro>(Clock::now() - began).count());
  }
  return bench::medianOf(trips);
}

void BM_MessageRoundTripBareBrowser(benchmark::State& state) {
  for (auto _ : state) {
    std::string profile = tempFolder();
    figures.bareRoundTripUs = bareBrowserRoundTripUs(profile);
    std::filesystem::remove_all(profile);
    if (!figures.bareRoundTripUs) return state.SkipWithError("the bare browser did not answer");
    state.counters["median_us"] = *figures.bareRoundTripUs;
  }
}
BENCHMARK(BM_MessageRoundTripBareBrowser)->Iterations(1)->Unit(benchmark::kMillisecond);

// Bursts of 10,000 messages. The wall-clock figure is the median burst's rate: one
// burst takes a few milliseconds, so a single stall of the machine would otherwise
// weigh on the whole figure. The CPU figure counts every burst.
constexpr int kBurstMessages = 10000;
constexpr int kBursts = 9;

void BM_MessageBurstPageToHost(benchmark::State& state) {
  auto* browser = shared();
  if (!browser) return state.SkipWithError("no browser");
  std::vector<double> rates;
  double cpuBegan = threadCpuSeconds();
  for (auto _ : state) {
    browser->messages.clear();
    auto began = Clock::now();
    browser->webView->PostWebMessageAsJson(R"({"type":"burst","n":10000})");
    if (!browser->runUntil([&] {
          return !browser->messages.empty() && browser->messages.back() == "burst-done";
        })) {
      return state.SkipWithError("burst incomplete");
    }
    rates.push_back(kBurstMessages / std::chrono::duration<double>(Clock::now() - began).count());
  }
  state.counters["messages_per_s"] = benchmark::Counter(
      kBurstMessages * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  figures.pageToHostPerS = bench::medianOf(rates);
  figures.pageToHostPerCpuS =
      kBurstMessages * static_cast<double>(state.iterations()) / (threadCpuSeconds() - cpuBegan);
}
BENCHMARK(BM_MessageBurstPageToHost)->Iterations(kBursts)->Unit(benchmark::kMillisecond);

void BM_MessageBurstHostToPage(benchmark::State& state) {
  auto* browser = shared();
  if (!browser) return state.SkipWithError("no browser");
  std::vector<double> rates;
  double cpuBegan = threadCpuSeconds();
  for (auto _ : state) {
    browser->messages.clear();
    auto began = Clock::now();
    for (int i = 0; i < kBurstMessages; ++i)
      browser->webView->PostWebMessageAsJson(R"({"type":"count","n":10000})");
    if (browser->nextMessage() != "counted") return state.SkipWithError("burst incomplete");
    rates.push_back(kBurstMessages / std::chrono::duration<double>(Clock::now() - began).count());
  }
  state.counters["messages_per_s"] = benchmark::Counter(
      kBurstMessages * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  figures.hostToPagePerS = bench::medianOf(rates);
  figures.hostToPagePerCpuS =
      kBurstMessages * static_cast<double>(state.iterations()) / (threadCpuSeconds() - cpuBegan);
}
BENCHMARK(BM_MessageBurstHostToPage)->Iterations(kBursts)->Unit(benchmark::kMillisecond);

void BM_SpawnToDomContentLoaded(benchmark::State& state) {
  for (auto _ : state) {
    BenchBrowser browser;
    auto seconds = browser.start();
    if (!seconds) return state.SkipWithError("browser did not start");
    state.SetIterationTime(*seconds);
  }
}
BENCHMARK(BM_SpawnToDomContentLoaded)
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
