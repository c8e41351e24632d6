#include "e2e/ChromiumTestHost.h"

#include <stdlib.h>

#include <cstring>
#include <filesystem>

namespace tavrelle::e2e {

namespace {

std::shared_ptr<MemoryBody> BodyOf(std::string_view bytes) {
  return std::make_shared<MemoryBody>(std::as_bytes(std::span(bytes)));
}

}  // namespace

ChromiumTestHost::ChromiumTestHost() {
  char folder[] = "/tmp/tavrelle-e2e-XXXXXX";
  userDataFolder = mkdtemp(folder);
  runtime_ = std::make_unique<chromium::LocatedChromiumRuntime>(
      loop, chromium::ChromiumRuntimeOptions{true, nullptr});
}

ChromiumTestHost::~ChromiumTestHost() {
  controller.reset();  // closes the browser
  environment.reset();
  std::error_code ignored;
  std::filesystem::remove_all(userDataFolder, ignored);
}

bool ChromiumTestHost::runUntil(const std::function<bool()>& pred,
                                std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pred() && std::chrono::steady_clock::now() < deadline) {
    loop.runOnce(std::chrono::milliseconds(20));
  }
  return pred();
}

bool ChromiumTestHost::create(std::string& error) {
  bool done = false;
  runtime_->locator().CreateEnvironmentWithOptions(
      std::nullopt, userDataFolder,
      webview::EnvironmentOptions{"--mute-audio --use-fake-device-for-media-stream", {}},
      [&](const webview::CreationResult& result, std::shared_ptr<webview::WebViewEnvironment> env) {
        if (!result.succeeded) error = result.error;
        environment = std::move(env);
        done = true;
      });
  if (!runUntil([&] { return done; }) || !environment) return false;
  done = false;
  webview::ControllerOptions options;
  options.defaultBackgroundColor = Rgb{16, 32, 48};
  environment->CreateCoreWebView2ControllerWithOptions(
      0, options,
      [&](const webview::CreationResult& result, std::shared_ptr<webview::WebViewController> c) {
        if (!result.succeeded) error = result.error;
        controller = std::move(c);
        done = true;
      });
  if (!runUntil([&] { return done; }, std::chrono::seconds(60)) || !controller) return false;
  webView = &controller->get_CoreWebView2();
  registerHandlers();
  return true;
}

void ChromiumTestHost::registerHandlers() {
  auto& settings = webView->get_Settings();
  settings.put_AreDevToolsEnabled(false);
  settings.put_AreBrowserAcceleratorKeysEnabled(false);
  settings.put_IsZoomControlEnabled(false);
  webView->AddWebResourceRequestedFilter("https://tavrelle.localhost/*",
                                         webview::WebResourceContext::All);
  webView->AddWebResourceRequestedFilter("https://other.localhost/*",
                                         webview::WebResourceContext::All);
  webView->add_WebResourceRequested(
      [this](webview::WebResourceRequestedEventArgs& args) { answer(args); });
  webView->add_NavigationStarting([this](webview::NavigationStartingEventArgs& args) {
    navigations.push_back(args.get_Uri());
    if (cancelNavigation && cancelNavigation(args.get_Uri())) args.put_Cancel(true);
  });
  webView->add_NewWindowRequested([this](webview::NewWindowRequestedEventArgs& args) {
    newWindows.push_back(args.get_Uri());
    newWindowRequesters.push_back(args.get_Requester());
    args.put_Handled(true);
  });
  webView->add_PermissionRequested([](webview::PermissionRequestedEventArgs& args) {
    args.put_State(webview::PermissionState::Allow);
  });
  webView->add_WebMessageReceived([this](webview::WebMessageReceivedEventArgs& args) {
    messages.emplace_back(args.get_Source(), args.TryGetWebMessageAsString());
  });
  webView->add_ProcessFailed([this](webview::ProcessFailedEventArgs& args) {
    failures.push_back(args.get_ProcessFailedKind());
  });
  webView->add_DocumentTitleChanged([this] { ++titleChanges; });
  webView->add_ContainsFullScreenElementChanged([this] { ++fullscreenChanges; });
  webView->add_WindowCloseRequested([this] { ++closeRequests; });
  webView->add_DOMContentLoaded([this] { ++domContentLoaded; });
  controller->add_AcceleratorKeyPressed([this](webview::AcceleratorKeyPressedEventArgs& args) {
    keys.emplace_back(args.get_KeyEventKind(), args.get_VirtualKey());
  });
}

void ChromiumTestHost::serve(const std::string& url, std::string contentType, std::string bytes) {
  files[url] = ServedFile{std::move(contentType), BodyOf(bytes)};
}

void ChromiumTestHost::answer(webview::WebResourceRequestedEventArgs& args) {
  const auto& request = args.get_Request();
  requests.push_back(request);
  auto file = files.find(request.uri);
  if (file == files.end()) {
    if (request.uri.find("no-response") != std::string::npos) return;  // nothing put: must fail
    args.put_Response({BodyOf("File not found"), 404, "Not Found", "Cache-Control: no-store"});
    return;
  }
  const auto& body = file->second.body;
  std::string range = request.headers.GetHeader("Range");
  std::string headers = "Cache-Control: no-store\nContent-Type: " + file->second.contentType +
                        "\nAccept-Ranges: bytes";
  if (range.starts_with("bytes=")) {
    uint64_t first = std::stoull(range.substr(6));
    uint64_t last = std::min<uint64_t>(body->size() - 1, first + 65535);
    if (size_t dash = range.find('-'); dash + 1 < range.size())
      last = std::stoull(range.substr(dash + 1));
    std::string part(last - first + 1, '\0');
    body->read(first, std::as_writable_bytes(std::span(part)));
    headers += "\nContent-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) +
               "/" + std::to_string(body->size()) +
               "\nContent-Length: " + std::to_string(part.size());
    args.put_Response({BodyOf(part), 206, "Partial Content", headers});
    return;
  }
  headers += "\nContent-Length: " + std::to_string(body->size());
  args.put_Response({body, 200, "OK", headers});
}

std::optional<nlohmann::json> ChromiumTestHost::evaluate(const std::string& body) {
  int id = nextEvaluation_++;
  size_t seen = messages.size();
  webView->PostWebMessageAsJson(
      nlohmann::json{{"type", "eval"}, {"id", id}, {"code", body}}.dump());
  std::optional<nlohmann::json> result;
  runUntil([&] {
    for (size_t i = seen; i < messages.size(); ++i) {
      if (!messages[i].second) continue;
      auto reply = nlohmann::json::parse(*messages[i].second, nullptr, false);
      if (reply.is_object() && reply.value("type", "") == "result" && reply.value("id", 0) == id) {
        result = reply["value"];
        messages.erase(messages.begin() + static_cast<long>(i));
        return true;
      }
    }
    return false;
  });
  return result;
}

void serveTestSite(ChromiumTestHost& host) {
  host.serve("https://tavrelle.localhost/index.html", "text/html; charset=utf-8", R"(<!doctype html>
<html><head><title>Start</title><script src="app.js"></script></head>
<body><img id="logo" src="logo.svg">
<iframe id="other" src="https://other.localhost/frame.html"></iframe>
<iframe id="levels" name="levels" src="same.html"></iframe>
<iframe id="sandboxed" sandbox="allow-scripts" src="sandboxed.html"></iframe></body></html>)");
  host.serve("https://tavrelle.localhost/app.js", "text/javascript", R"(
window.keep = 0;
window.frameNotes = [];
window.addEventListener('message', (event) => {
  if (typeof event.data === 'string') window.frameNotes.push(event.data);
});
chrome.webview.addEventListener('message', async (event) => {
  const message = event.data;
  if (message.type !== 'eval') return;
  let value;
  try {
    value = await (new Function('return (async () => {' + message.code + '})()'))();
  } catch (error) {
    value = { error: String(error) };
  }
  chrome.webview.postMessage(JSON.stringify({ type: 'result', id: message.id, value: value === undefined ? null : value }));
});
document.addEventListener('DOMContentLoaded', () => { document.title = 'Ready'; });
chrome.webview.postMessage(JSON.stringify({ type: 'hello' }));
)");
  host.serve(
      "https://tavrelle.localhost/logo.svg", "image/svg+xml",
      R"(<svg xmlns="http://www.w3.org/2000/svg" width="20" height="10"><rect width="20" height="10"/></svg>)");
  host.serve("https://tavrelle.localhost/data.txt", "text/plain", "served from memory");
  std::string media(300000, '\0');
  for (size_t i = 0; i < media.size(); ++i) media[i] = static_cast<char>(i * 7 % 251);
  host.serve("https://tavrelle.localhost/media.bin", "application/octet-stream", std::move(media));
  host.serve("https://other.localhost/frame.html", "text/html", R"(<!doctype html><script>
chrome.webview.postMessage('from the frame');
parent.postMessage('other:posted', '*');</script>)");
  host.serve("https://tavrelle.localhost/same.html", "text/html", R"(<!doctype html><script>
chrome.webview.postMessage('from the same-origin frame');
parent.postMessage('same:posted', '*');</script>)");
  host.serve("https://tavrelle.localhost/level2.html", "text/html",
             "<!doctype html><title>Level 2</title>");
  host.serve("https://tavrelle.localhost/sandboxed.html", "text/html", R"(<!doctype html><script>
const seen = [typeof chrome.webview, typeof window.__tavrelleHostBinding].join(',');
chrome.webview.postMessage('from the sandbox');
window.open('https://example.org/from-the-sandbox');
parent.postMessage('sandboxed:' + seen, '*');</script>)");
}

}  // namespace tavrelle::e2e
