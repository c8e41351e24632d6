// The Chromium web view runtime end to end, headless, through the web view port only.
// One browser serves most checks; tests that end the browser start their own.

#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/ChromiumTestHost.h"
#include "platform/chromium/ChromiumController.h"
#include "platform/chromium/ChromiumWebView.h"
#include "platform/chromium/DevToolsClient.h"

namespace tavrelle::e2e {
namespace {

using nlohmann::json;

// Sends a raw DevTools command, for checks the port cannot express (targets, input).
std::optional<chromium::DevToolsReply> sendRaw(ChromiumTestHost& host, const std::string& method,
                                               json params, bool toPage = false) {
  auto& webView = dynamic_cast<chromium::ChromiumWebView&>(*host.webView);
  std::optional<chromium::DevToolsReply> reply;
  webView.client().send(method, std::move(params), toPage ? webView.pageSessionId() : std::string(),
                        [&](const chromium::DevToolsReply& r) { reply = r; });
  host.runUntil([&] { return reply.has_value(); });
  return reply;
}

// A player's key press: trusted input the page cannot tell from a real one.
void pressKey(ChromiumTestHost& host, int keyCode, const std::string& key, int modifiers = 0) {
  for (const char* type : {"rawKeyDown", "keyUp"}) {
    auto reply = sendRaw(host, "Input.dispatchKeyEvent",
                         {{"type", type},
                          {"windowsVirtualKeyCode", keyCode},
                          {"key", key},
                          {"code", key},
                          {"modifiers", modifiers}},
                         true);
    ASSERT_TRUE(reply && reply->ok);
  }
}

class ChromiumRuntimeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    host_ = new ChromiumTestHost();
    host_->cancelNavigation = [](const std::string& uri) {
      return !uri.starts_with("https://tavrelle.localhost/");
    };
    std::string error;
    ASSERT_TRUE(host_->open(error)) << error;
  }
  static void TearDownTestSuite() {
    delete host_;
    host_ = nullptr;
  }
  ChromiumTestHost& host() { return *host_; }

  static ChromiumTestHost* host_;
};

ChromiumTestHost* ChromiumRuntimeTest::host_ = nullptr;

// ----- Resources -----

TEST_F(ChromiumRuntimeTest, PageScriptImageAndFetchAreServedByTheHandler) {
  auto served = [&](const std::string& url) {
    return std::ranges::any_of(host().requests, [&](const auto& r) { return r.uri == url; });
  };
  EXPECT_TRUE(served(kStartPage));
  EXPECT_TRUE(served("https://tavrelle.localhost/app.js"));
  auto result = host().evaluate(R"(
    const img = document.getElementById('logo');
    if (!img.complete) await new Promise(r => img.onload = r);
    const response = await fetch('data.txt');
    return [img.naturalWidth, response.status, response.headers.get('content-type'),
            await response.text()];)");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, json::array({20, 200, "text/plain", "served from memory"}));
}

TEST_F(ChromiumRuntimeTest, RangeRequestsReachTheHandlerAndGetPartialContent) {
  auto result = host().evaluate(R"(
    const response = await fetch('media.bin', { headers: { Range: 'bytes=1000-1009' } });
    const bytes = new Uint8Array(await response.arrayBuffer());
    return [response.status, response.headers.get('content-range'), Array.from(bytes)];)");
  ASSERT_TRUE(result);
  json expectedBytes = json::array();
  for (char byte : PatternBytes(300000).substr(1000, 10)) {
    expectedBytes.push_back(static_cast<uint8_t>(byte));
  }
  EXPECT_EQ(*result, json::array({206, "bytes 1000-1009/300000", expectedBytes}));
  bool sawRange = false;
  for (const auto& request : host().requests) {
    if (request.uri.ends_with("media.bin"))
      sawRange = request.headers.GetHeader("range") == "bytes=1000-1009";
  }
  EXPECT_TRUE(sawRange);
}

TEST_F(ChromiumRuntimeTest, MediaElementPlaysThroughOpenEndedRanges) {
  auto result = host().evaluate(R"(
    const video = document.createElement('video');
    video.src = 'media.bin';
    const outcome = await new Promise(r => { video.onerror = () => r('error'); video.onloadedmetadata = () => r('metadata'); setTimeout(() => r('timeout'), 5000); });
    return outcome;)");
  ASSERT_TRUE(result);
  // Not a real video: the element must fail to decode it, after having fetched it by range.
  EXPECT_EQ(*result, "error");
  bool rangeRequested = false;
  for (const auto& request : host().requests) {
    if (request.uri.ends_with("media.bin") &&
        request.headers.GetHeader("Range").starts_with("bytes=0-")) {
      rangeRequested = true;
    }
  }
  EXPECT_TRUE(rangeRequested);
}

TEST_F(ChromiumRuntimeTest, RequestWithoutResponseFailsInsteadOfReachingANetwork) {
  auto result = host().evaluate(R"(
    try { await fetch('no-response.txt'); return 'answered'; } catch (e) { return 'failed'; })");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, "failed");
}

// ----- Messages -----

// Page to host: the document's URL as source, no string for a non-string. Host to page:
// parsed, with an empty list of additional objects; text that is not JSON never arrives.
TEST_F(ChromiumRuntimeTest, MessagesCrossBothWays) {
  using Message = std::pair<std::string, std::optional<std::string>>;
  const auto& messages = host().messages;
  EXPECT_NE(std::ranges::find(messages, Message{kStartPage, R"({"type":"hello"})"}),
            messages.end());
  ASSERT_TRUE(host().evaluate(R"(
    window.probes = [];
    chrome.webview.addEventListener('message', e => {
      if (e.data.type === 'probe') window.probes.push([e.data.n, e.data.text, Array.isArray(e.additionalObjects), e.additionalObjects.length]);
    });
    chrome.webview.postMessage({ not: 'a string' });
    return 1;)"));
  EXPECT_NE(std::ranges::find(messages, Message{kStartPage, std::nullopt}), messages.end());
  host().webView->PostWebMessageAsJson(R"({"type":"probe","n":5,"text":"été"})");
  host().webView->PostWebMessageAsJson("not json at all");
  auto probes = host().evaluate("return window.probes;");
  ASSERT_TRUE(probes);
  EXPECT_EQ(*probes, json::array({json::array({5, "\u00e9t\u00e9", true, 0})}));
}

TEST_F(ChromiumRuntimeTest, PageMessageAboveTheCeilingThrows) {
  auto result = host().evaluate(R"(
    const outcomes = [];
    // Counted as the browser hands the text over: quotes escaped, accents as \uXXXX.
    for (const text of ['a'.repeat(64 * 1048576 + 1), '\u00e9'.repeat(11 * 1048576),
                        '"'.repeat(32 * 1048576 + 1), 'small']) {
      try { chrome.webview.postMessage(text); outcomes.push('sent'); } catch (e) { outcomes.push(e.name); }
    }
    return outcomes;)");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, json::array({"RangeError", "RangeError", "RangeError", "sent"}));
}

TEST_F(ChromiumRuntimeTest, PageCannotReplaceTheApiOrReachTheBinding) {
  auto result = host().evaluate(R"(
    const before = chrome.webview;
    try { chrome.webview = {}; } catch (e) {}
    try { window.__tavrelleDeliverHostMessage = () => {}; } catch (e) {}
    return [chrome.webview === before, typeof window.__tavrelleHostBinding];)");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, json::array({true, "undefined"}));
}

// ----- Navigation, windows, title -----

TEST_F(ChromiumRuntimeTest, LinkWithTargetIsReportedAsNewWindow) {
  size_t before = host().newWindows.size();
  ASSERT_TRUE(host().evaluate(R"(
    const a = document.createElement('a'); a.href = 'https://example.org/page'; a.target = '_blank';
    a.textContent = 'link'; a.style = 'position:fixed;left:0;top:0;width:50px;height:50px;display:block;z-index:9';
    document.body.appendChild(a); return 1;)"));
  for (const char* type : {"mousePressed", "mouseReleased"}) {
    auto reply = sendRaw(
        host(), "Input.dispatchMouseEvent",
        {{"type", type}, {"x", 10}, {"y", 10}, {"button", "left"}, {"clickCount", 1}}, true);
    ASSERT_TRUE(reply && reply->ok);
  }
  ASSERT_TRUE(host().runUntil([&] { return host().newWindows.size() > before; }));
  EXPECT_EQ(host().newWindows.back(), "https://example.org/page");
  EXPECT_TRUE(host().newWindowRequesters.back().isUserInitiated);
  auto targets = sendRaw(host(), "Target.getTargets", json::object());
  ASSERT_TRUE(targets && targets->ok);
  int pages = 0;
  for (const auto& info : targets->result["targetInfos"]) pages += info["type"] == "page";
  EXPECT_EQ(pages, 1);
}

TEST_F(ChromiumRuntimeTest, NamedTargetOfAnExistingFrameLoadsInThatFrame) {
  size_t before = host().newWindows.size();
  auto result = host().evaluate(R"(
    const frame = document.getElementById('levels');
    const loaded = () => new Promise(r => frame.addEventListener('load', r, { once: true }));
    let arrived = loaded();
    const opened = window.open('level2.html?by=open', 'levels');
    await arrived;
    const first = frame.contentWindow.location.search;
    arrived = loaded();
    const form = document.createElement('form');
    form.action = 'level2.html'; form.target = 'levels';
    form.innerHTML = '<input name="by" value="form">';
    document.body.appendChild(form); form.requestSubmit(); form.remove();
    await arrived;
    return [opened !== null, first, frame.contentWindow.location.search];)");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, json::array({true, "?by=open", "?by=form"}));
  EXPECT_EQ(host().newWindows.size(), before);
}

TEST_F(ChromiumRuntimeTest, GetFormSentToANewWindowKeepsItsQuery) {
  size_t before = host().newWindows.size();
  ASSERT_TRUE(host().evaluate(R"(
    const form = document.createElement('form');
    form.action = 'https://example.org/search?old=1'; form.target = '_blank';
    form.innerHTML = '<input name="q" value="a b&c"><input name="lang" value="fr">';
    document.body.appendChild(form); form.requestSubmit(); form.remove();
    return 1;)"));
  ASSERT_TRUE(host().runUntil([&] { return host().newWindows.size() > before; }));
  EXPECT_EQ(host().newWindows.back(), "https://example.org/search?q=a+b%26c&lang=fr");
}

// ----- Permissions, keys -----

TEST_F(ChromiumRuntimeTest, PermissionsAreGrantedWithoutPrompt) {
  auto result = host().evaluate(R"(
    const states = [];
    for (const name of ['geolocation', 'notifications', 'camera', 'microphone']) {
      states.push((await navigator.permissions.query({ name })).state);
    }
    return states;)");
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, json::array({"granted", "granted", "granted", "granted"}));
}

// The page's grants answer permission queries in a delegated frame, yet the frame's
// use of the device is refused while the game's own use works (fake devices here).
TEST_F(ChromiumRuntimeTest, GrantsAreNotDelegatedToFramesOfOtherOrigins) {
  host().serve("https://other.localhost/capture.html", "text/html", R"(<script>
(async () => {
  const outcomes = [];
  for (const constraints of [{ video: true }, { audio: true }]) {
    try { await navigator.mediaDevices.getUserMedia(constraints); outcomes.push('opened'); }
    catch (e) { outcomes.push(e.name); }
  }
  parent.postMessage('capture:' + outcomes.join(','), '*');
})();</script>)");
  auto outcomes = host().evaluate(R"(
    const note = new Promise(resolve => window.addEventListener('message', e => {
      if (String(e.data).startsWith('capture:')) resolve(e.data);
    }));
    const frame = document.createElement('iframe');
    frame.allow = 'camera; microphone';
    frame.src = 'https://other.localhost/capture.html';
    document.body.appendChild(frame);
    const framed = await note;
    const own = await navigator.mediaDevices.getUserMedia({ video: true, audio: true });
    own.getTracks().forEach(t => t.stop());
    return framed + ';game:' + own.getTracks().length;)");
  ASSERT_TRUE(outcomes);
  EXPECT_EQ(*outcomes, "capture:NotAllowedError,NotAllowedError;game:2");
}

TEST_F(ChromiumRuntimeTest, F12WithToolsOffIsBlockedAndReported) {
  ASSERT_TRUE(host().evaluate(R"(
    window.seenKeys = [];
    window.addEventListener('keydown', e => window.seenKeys.push([e.keyCode, e.defaultPrevented]));
    return 1;)"));
  size_t before = host().keys.size();
  pressKey(host(), 123, "F12");
  pressKey(host(), 73, "I", 2 | 8);  // Ctrl+Shift+I
  pressKey(host(), 82, "r", 2);      // Ctrl+R
  auto seen = host().evaluate("return window.seenKeys;");
  ASSERT_TRUE(seen);
  EXPECT_EQ(*seen, json::array({json::array({123, true}), json::array({73, true}),
                                json::array({82, true})}));
  ASSERT_TRUE(host().runUntil([&] { return host().keys.size() >= before + 2; }));
  EXPECT_EQ(host().keys[before],
            std::make_pair(webview::KeyEventKind::KeyDown, webview::kVirtualKeyF12));
  EXPECT_EQ(host().keys[before + 1],
            std::make_pair(webview::KeyEventKind::KeyUp, webview::kVirtualKeyF12));
  auto targets = sendRaw(host(), "Target.getTargets", json::object());
  ASSERT_TRUE(targets && targets->ok);
  for (const auto& info : targets->result["targetInfos"]) {
    EXPECT_FALSE(info["url"].get<std::string>().starts_with("devtools://"));
  }
}

TEST_F(ChromiumRuntimeTest, TopNavigationWithoutARequestNeverLeavesTheApp) {
  const std::vector<std::string> escapes = {
      "'about:blank'",
      "URL.createObjectURL(new Blob(['<title>elsewhere</title>'], { type: 'text/html' }))"};
  for (const auto& target : escapes) {
    size_t asked = host().navigations.size();
    // Either stopped before it commits (the page sets its title again later) or undone
    // by going back to the start page (which sets it when loaded).
    ASSERT_TRUE(
        host().evaluate("document.title = 'Leaving'; setTimeout(() => { location.href = " + target +
                        "; }, 0); setTimeout(() => { document.title = 'Ready'; }, 2000); "
                        "return 1;"));
    ASSERT_TRUE(host().runUntil([&] { return host().navigations.size() > asked; })) << target;
    ASSERT_TRUE(host().runUntil([&] { return host().webView->get_DocumentTitle() == "Leaving"; }));
    ASSERT_TRUE(host().runUntil([&] { return host().webView->get_DocumentTitle() == "Ready"; }));
    auto where = host().evaluate("return location.href;");
    ASSERT_TRUE(where) << target;
    EXPECT_EQ(*where, kStartPage) << target;
  }
}

TEST_F(ChromiumRuntimeTest, LargeBodyArrivesIntact) {
  std::string big = PatternBytes(80'000'000);
  const json expected =
      json::array({200, "https://tavrelle.localhost/big.bin", big.size(), ChecksumOf(big)});
  host().serve("https://tavrelle.localhost/big.bin", "application/octet-stream", std::move(big));
  auto result = host().evaluate(kFetchAndSum);
  host().files.erase("https://tavrelle.localhost/big.bin");
  EXPECT_EQ(result, expected);
}

// ----- Failures -----

TEST(ChromiumRuntimeLifetimeTest, BrowserDeathIsReportedAsProcessFailed) {
  ChromiumTestHost host;
  std::string error;
  ASSERT_TRUE(host.create(error)) << error;
  auto& webView = dynamic_cast<chromium::ChromiumWebView&>(*host.webView);
  webView.client().send("Browser.crash", json::object());
  ASSERT_TRUE(host.runUntil([&] { return !host.failures.empty(); }));
  EXPECT_EQ(host.failures.front(), webview::ProcessFailedKind::BrowserProcessExited);
  EXPECT_EQ(host.failures.size(), 1u);
}

}  // namespace
}  // namespace tavrelle::e2e
