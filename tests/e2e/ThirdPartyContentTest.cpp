// Content the game's makers do not control, running inside the real host: an "ad"
// frame from a real server on 127.0.0.1, a sandboxed frame and a same-origin frame.
// Each tries to reach past the page; each is refused while the game keeps running.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/HostOnDisplayTest.h"
#include "support/LocalWebServer.h"

namespace tavrelle::test {
namespace {

// The game: reports host messages in its title and collects what its frames tell it.
std::string GamePage(const std::string& adOrigin, uint16_t sinkPort) {
  return DrivenPage(R"(<title>Third party</title>
<iframe id="ad" src=")" +
                        adOrigin + R"(/ad.html?sink=)" + std::to_string(sinkPort) + R"("></iframe>
<iframe id="sandboxed" sandbox="allow-scripts" src="sandboxed.html"></iframe>
<iframe id="levels" name="levels" src="same.html"></iframe>)",
                    R"(window.notes = [];
window.addEventListener('message', e => { if (typeof e.data === 'string') window.notes.push(e.data); });
host.addEventListener('message', e => { document.title = 'event:' + e.data.type; });
)");
}

// Served from 127.0.0.1: no click, only script.
constexpr const char* kAdPage = R"(<!doctype html><script>
const tell = (note) => parent.postMessage('ad:' + note, '*');
(async () => {
  for (let i = 0; i < 300; i++) window.open('https://example.org/ad-' + i);
  window.open('file:///etc/passwd');
  window.open('custom-scheme:payload');
  const link = document.createElement('a');
  link.href = 'file:///etc/passwd'; link.target = '_blank';
  document.documentElement.appendChild(link); link.click();
  try {
    chrome.webview.postMessage(JSON.stringify({type: 'set-window-size', windowWidth: 300, windowHeight: 200}));
  } catch (e) {}
  let ceiling = 'sent';
  try { chrome.webview.postMessage('x'.repeat(64 * 1048576 + 1)); } catch (e) { ceiling = e.name; }
  tell('ceiling=' + ceiling);
  const sink = new URLSearchParams(location.search).get('sink');
  const socket = await new Promise(r => {
    const ws = new WebSocket('ws://tavrelle.localhost:' + sink + '/from-the-ad');
    ws.onopen = () => r('open'); ws.onerror = () => r('refused'); setTimeout(() => r('timeout'), 10000);
  });
  tell('websocket=' + socket);
  tell('done');
})().catch((e) => tell('failed=' + e));
</script>)";

constexpr const char* kSandboxedPage = R"(<!doctype html><script>
const seen = [typeof chrome.webview, typeof window.__tavrelleHostBinding].join(',');
try {
  chrome.webview.postMessage(JSON.stringify({type: 'set-window-size', windowWidth: 310, windowHeight: 210}));
} catch (e) {}
window.open('https://example.org/from-the-sandbox');
parent.postMessage('sandboxed:' + seen, '*');
</script>)";

constexpr const char* kSameOriginPage = R"(<!doctype html><script>
chrome.webview.postMessage(JSON.stringify({type: 'set-window-size', windowWidth: 320, windowHeight: 220}));
window.open('https://example.org/from-the-same-origin-frame');
parent.postMessage('same:posted', '*');
</script>)";

class ThirdPartyContentTest : public HostOnDisplayTest<false> {
 protected:
  LocalWebServer ad_{kAdPage};
  LocalWebServer sink_;  // where the app host name would lead without the resolver rule
};

TEST_F(ThirdPartyContentTest, EveryAttemptIsRefusedAndTheGameKeepsRunning) {
  game_.write("package.json", R"({"name": "e2e-third-party", "window": {"title": "Third party",
                                  "width": 640, "height": 480}})");
  game_.write("www/index.html", GamePage(ad_.origin(), sink_.port()));
  game_.write("www/sandboxed.html", kSandboxedPage);
  game_.write("www/same.html", kSameOriginPage);
  HostProcess host(game_, display_->display());
  const Window window = waitForPage(host, "event:wrapper-init-response");
  ASSERT_NE(window, 0u);

  // What the frames saw, once all three have told the page.
  const std::string allNotes = R"(["ad:ceiling=RangeError","ad:done","ad:websocket=refused",)"
                               R"("same:posted","sandboxed:object,undefined"])";
  ASSERT_TRUE(pageSays("JSON.stringify(notes.slice().sort())", window,
                       [&](const std::string& notes) { return notes == allNotes; }))
      << "the ad server saw " << ad_.connectionCount() << " connections\n"
      << host.standardError();
  // The app host name has no address: the ad's WebSocket to it failed without reaching
  // the local port that the name would otherwise lead to.
  EXPECT_EQ(sink_.connectionCount(), 0);
  // No frame resized the window.
  EXPECT_EQ(probe_->clientSize(window), std::make_pair(640, 480));

  // Nothing the frames opened reached the shell; a window the game's own document
  // opens does.
  command(R"js("eval": "window.open('https://example.org/from-the-game')")js");
  EXPECT_TRUE(X11Probe::waitFor([&] { return !game_.opened().empty(); }));
  EXPECT_EQ(game_.opened(), "https://example.org/from-the-game\n");

  // The folders the host made are its own.
  namespace fs = std::filesystem;
  for (const std::string& folder : {game_.dataHome(), game_.dataHome() + "/e2e-third-party"}) {
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
  }
}

}  // namespace
}  // namespace tavrelle::test
