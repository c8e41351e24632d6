#pragma once

// A headless browser driven through the web view port only, for end-to-end tests:
// serves pages from memory, records every event, and lets a test run script in the
// page through the page's own message channel.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "content/ResponseBodies.h"
#include "platform/chromium/LocatedChromiumRuntime.h"
#include "platform/linux/PollEventLoop.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::e2e {

struct ServedFile {
  std::string contentType;
  std::shared_ptr<const MemoryBody> body;
};

class ChromiumTestHost {
 public:
  ChromiumTestHost();
  ~ChromiumTestHost();

  // Creates environment and controller; false (with the reason) when that failed.
  bool create(std::string& error);
  // Serves the test site, creates the browser and waits until its start page is ready.
  bool open(std::string& error);

  // Runs the loop until pred holds or the timeout passes; returns pred().
  bool runUntil(const std::function<bool()>& pred,
                std::chrono::milliseconds timeout = std::chrono::seconds(60));

  // Evaluates an async JavaScript function body in the top page and returns its value
  // (JSON), through the page's message channel.
  std::optional<nlohmann::json> evaluate(const std::string& body);

  void serve(const std::string& url, std::string contentType, std::string bytes);

  linux_platform::PollEventLoop loop;
  std::string userDataFolder;
  std::shared_ptr<webview::WebViewEnvironment> environment;
  std::shared_ptr<webview::WebViewController> controller;
  webview::WebView* webView = nullptr;

  std::map<std::string, ServedFile> files;
  std::vector<webview::WebResourceRequest> requests;
  std::vector<std::pair<std::string, std::optional<std::string>>> messages;  // source, text
  std::vector<std::string> navigations;
  std::vector<std::string> newWindows;
  std::vector<webview::NewWindowRequester> newWindowRequesters;
  std::vector<std::pair<webview::KeyEventKind, uint32_t>> keys;
  std::vector<webview::ProcessFailedKind> failures;
  std::function<bool(const std::string&)> cancelNavigation;
  int domContentLoaded = 0;

 private:
  void registerHandlers();
  void answer(webview::WebResourceRequestedEventArgs& args);
  std::unique_ptr<chromium::LocatedChromiumRuntime> runtime_;
  int nextEvaluation_ = 1;
};

inline constexpr const char* kStartPage = "https://tavrelle.localhost/index.html";

// The pages every test host serves under https://tavrelle.localhost/.
void serveTestSite(ChromiumTestHost& host);

// Bytes of a pattern that no off-by-one or reordering keeps, and their checksum.
std::string PatternBytes(size_t size);
uint32_t ChecksumOf(const std::string& bytes);
// Page script: fetches big.bin; [status, url, length, checksum].
inline constexpr const char* kFetchAndSum = R"(
    const response = await fetch('big.bin', { cache: 'no-store' });
    const bytes = new Uint8Array(await response.arrayBuffer());
    let sum = 0;
    for (let i = 0; i < bytes.length; i++) sum = (sum * 31 + bytes[i]) & 0xFFFFFF;
    return [response.status, response.url, bytes.length, sum];)";

}  // namespace tavrelle::e2e
