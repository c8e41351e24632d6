// The real browser as the host drives it, seen from the game's page: files by range and
// large bodies through the loopback side channel (also under attack by another local
// process), the message channel's limits, new windows and frames, permissions, the keys
// kept from the page, navigations that would leave the app, and the browser's death.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <cstdio>
#include <string>
#include <stop_token>
#include <thread>
#include <memory>
#include <vector>

#include "support/HostOnDisplayTest.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;

const std::string kBrowserPage = DrivenPage(R"(<title>browser</title>
<iframe id="levels" name="levels" src="level.html"></iframe>
<a href="https://example.org/page" target="_blank"
   style="position:fixed;left:0;top:0;width:50px;height:50px;display:block;z-index:9">link</a>
<form id="search" action="https://example.org/search?old=1" target="_blank">
<input name="q" value="a b&amp;c"><input name="lang" value="fr"></form>
<form id="level" action="level.html" target="levels"><input name="by" value="form"></form>)",
                                            R"(host.addEventListener('message', e => {
  if (e.data.type === 'wrapper-init-response') {
    document.title = 'ready:' + Array.isArray(e.additionalObjects) + e.additionalObjects.length;
  }
});
const keys = [];
addEventListener('keydown', e => {
  if ([73, 82, 123].includes(e.keyCode)) keys.push(e.keyCode + (e.defaultPrevented ? '!' : ''));
});
const sumOf = async (name, init) => {
  const response = await fetch(name, Object.assign({cache: 'no-store'}, init));
  const bytes = new Uint8Array(await response.arrayBuffer());
  let sum = 0;
  for (let i = 0; i < bytes.length; i++) sum = (sum * 31 + bytes[i]) & 0xFFFFFF;
  return [response.status, bytes.length, sum].join(',');
};
const levels = document.getElementById('levels');
const levelLoads = () => new Promise(r => levels.addEventListener('load', r, {once: true}));
const steps = {
  async ranges() {
    const ranged = await fetch('media.bin', {headers: {Range: 'bytes=1000-1009'}});
    const bytes = new Uint8Array(await ranged.arrayBuffer()).join('.');
    // Not a real video: the element fails to decode it, after having fetched it by range.
    const video = document.createElement('video');
    video.src = 'media.bin';
    const played = await new Promise(r => { video.onerror = () => r('error'); video.onloadedmetadata = () => r('metadata'); setTimeout(() => r('timeout'), 5000); });
    return [ranged.status, ranged.headers.get('content-range'), bytes, played].join(',');
  },
  large: () => sumOf('large.bin'),
  async methods() {
    const sums = [];
    for (const method of ['GET', 'POST', 'PUT', 'DELETE', 'PATCH']) {
      sums.push(await sumOf('mid.bin', method === 'GET' ? {} :
          {method, body: 'level=3', headers: {'Content-Type': 'application/json'}}));
    }
    return sums.join(';');
  },
  async limits() {
    const outcomes = [];
    // Counted as the browser hands the text over: quotes escaped, accents as \uXXXX.
    for (const text of ['a'.repeat(64 * 1048576 + 1), '\u00e9'.repeat(11 * 1048576),
                        '"'.repeat(32 * 1048576 + 1), '{}']) {
      try { host.postMessage(text); outcomes.push('sent'); } catch (e) { outcomes.push(e.name); }
    }
    const before = chrome.webview;
    try { chrome.webview = {}; } catch (e) {}
    try { window.__tavrelleDeliverHostMessage = () => {}; } catch (e) {}
    return [outcomes, chrome.webview === before, typeof window.__tavrelleHostBinding].join(',');
  },
  async frames() {
    let arrived = levelLoads();
    const opened = window.open('level.html?by=open', 'levels');
    await arrived;
    const first = levels.contentWindow.location.search;
    arrived = levelLoads();
    document.getElementById('level').requestSubmit();
    await arrived;
    return [opened !== null, first, levels.contentWindow.location.search].join(',');
  },
  permissions: async () => (await Promise.all(['geolocation', 'notifications', 'camera',
      'microphone'].map((name) => navigator.permissions.query({name})))).map((s) => s.state).join(','),
  answer: () => new Promise((resolve) => {
    host.addEventListener('message', (e) => {
      if (e.data.type === 'wrapper-init-response') resolve('answered');
    });
    host.postMessage(JSON.stringify({type: 'wrapper-init'}));
  }),
  // Two host messages through listeners of every kind, called as an event target calls them.
  listeners: () => new Promise((resolve) => {
    const calls = [], errors = [];
    const onError = (e) => { errors.push(e.message.includes('thrown')); e.preventDefault(); };
    addEventListener('error', onError);
    const cleanup = new AbortController(), aborted = new AbortController();
    const options = {signal: cleanup.signal};
    const answers = (e) => e.data.type === 'wrapper-init-response';
    const noting = (name) => (e) => { if (answers(e)) calls.push(name); };
    const add = (listener, extra) => host.addEventListener('message', listener,
                                                            Object.assign({}, options, extra));
    const bubble = noting('bubble'), removed = noting('removed');
    let seen = 0, onceCalls = 0, addedCalls = 0;
    add(bubble);
    add(bubble);
    add(() => { ++onceCalls; }, {once: true});
    add(noting('aborted'), {signal: aborted.signal});
    aborted.abort();
    add(function (e) {
      'use strict';
      if (!answers(e)) return;
      e.returnValue = false;  // the old ways to cancel and stop, writable as ever
      e.cancelBubble = true;
      calls.push([this === host, e.target === host, e.type, typeof e.timeStamp].join('/'));
      host.removeEventListener('message', removed);
      // Added while the first answer is dispatched: called from the second on.
      if (calls.length === 2) add((e) => { if (answers(e)) ++addedCalls; }, {capture: true});
      throw new Error('thrown');
    });
    add(removed);
    add({handleEvent: noting('object')});
    add((e) => { if (answers(e)) { calls.push('stop'); e.stopImmediatePropagation(); } });
    add(noting('after-stop'));
    add((e) => {
      if (!answers(e) || ++seen < 2) return;
      setTimeout(() => {
        cleanup.abort();
        removeEventListener('error', onError);
        resolve([calls.join(','), errors.join(','), onceCalls, addedCalls].join(';'));
      }, 0);
    }, {capture: true});
    host.postMessage(JSON.stringify({type: 'wrapper-init'}));
    host.postMessage(JSON.stringify({type: 'wrapper-init'}));
  }),
};
)");

std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 4099) & 0xFF);
  return bytes;
}

// What the page's sumOf() says of a whole, successful fetch of these bytes.
std::string SumOf(const std::string& bytes) {
  uint32_t sum = 0;
  for (unsigned char c : bytes) sum = (sum * 31 + c) & 0xFFFFFF;
  return "200," + std::to_string(bytes.size()) + "," + std::to_string(sum);
}

// The ports on 127.0.0.1 that a process listens on, found the way any local process can.
std::set<uint16_t> ListeningLoopbackPorts(pid_t pid) {
  std::set<unsigned long> sockets;
  for (const auto& entry : std::filesystem::directory_iterator(
           "/proc/" + std::to_string(pid) + "/fd",
           std::filesystem::directory_options::skip_permission_denied)) {
    std::error_code error;
    const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
    if (target.starts_with("socket:[")) sockets.insert(std::stoul(target.substr(8)));
  }
  std::set<uint16_t> ports;
  std::ifstream table("/proc/net/tcp");
  // Each row: slot, local and remote address:port, state, queues, timer, retries, uid,
  // timeout, inode; 0A is LISTEN. The heading row does not scan.
  for (std::string row; std::getline(table, row);) {
    unsigned address = 0, port = 0, state = 0;
    unsigned long inode = 0;
    if (std::sscanf(row.c_str(), "%*d: %X:%X %*s %X %*s %*s %*s %*d %*d %lu", &address, &port,
                    &state, &inode) == 4 &&
        address == 0x0100007F && state == 0x0A && sockets.contains(inode)) {
      ports.insert(static_cast<uint16_t>(port));
    }
  }
  return ports;
}

// Another local process: keeps many connections open that send nothing, half a head,
// or a guessed token, and reconnects whenever one is closed. Counts response bytes.
struct Hammer {
  explicit Hammer(uint16_t port)
      : thread([this, port](std::stop_token stop) { run(port, stop); }) {}

  void run(uint16_t port, const std::stop_token& stop) {
    const std::string heads[3] = {"", "GET /0123",
                                  "GET /0123456789abcdef0123456789abcdef HTTP/1.1\r\n\r\n"};
    sockaddr_in address{.sin_family = AF_INET,
                        .sin_port = htons(port),
                        .sin_addr = {htonl(INADDR_LOOPBACK)},
                        .sin_zero = {}};
    std::vector<int> fds(150, -1);
    char buffer[4096];
    while (!stop.stop_requested()) {
      for (size_t i = 0; i < fds.size() && !stop.stop_requested(); ++i) {
        if (fds[i] >= 0) {
          const ssize_t got = recv(fds[i], buffer, sizeof buffer, 0);
          if (got > 0) answered += static_cast<uint64_t>(got);
          if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
          close(fds[i]);
        }
        fds[i] = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        connect(fds[i], reinterpret_cast<sockaddr*>(&address), sizeof address);
        ++connects;
        usleep(1000);  // let the handshake finish before writing
        const std::string& head = heads[i % 3];
        [[maybe_unused]] auto sent = send(fds[i], head.data(), head.size(), MSG_NOSIGNAL);
      }
      usleep(2000);
    }
    for (int fd : fds) close(fd);
  }

  std::atomic<uint64_t> answered{0};
  std::atomic<uint64_t> connects{0};
  std::jthread thread;  // last: stopped and joined before the counters go
};

// The browser's main process: the host's child that it talks to over the pipe.
pid_t BrowserOf(pid_t host) {
  for (const auto& task :
       std::filesystem::directory_iterator("/proc/" + std::to_string(host) + "/task")) {
    std::ifstream children(task.path() / "children");
    for (pid_t child = 0; children >> child;) {
      if (ReadAll("/proc/" + std::to_string(child) + "/cmdline").find("--remote-debugging-pipe") !=
          std::string::npos) {
        return child;
      }
    }
  }
  return -1;
}

using BrowserInTheHostTest = HostOnDisplayTest<true>;

TEST_F(BrowserInTheHostTest, ThePageGetsItsFilesAndLimitsAndNeverLeavesTheApp) {
  game_.write("package.json",
              R"({"name": "e2e-browser", "window": {"width": 640, "height": 480}})");
  game_.write("www/index.html", kBrowserPage);
  game_.write("www/level.html", "<!doctype html><title>level</title>");
  const std::string media = PatternBytes(300000);
  const std::string mid = PatternBytes(1 << 20);
  const std::string large = PatternBytes(80'000'000);
  game_.write("www/media.bin", media);
  game_.write("www/mid.bin", mid);
  game_.write("www/large.bin", large);
  // A stand-in for the desktop's dialog tool: notes what it shows and answers at once.
  game_.write("bin/zenity",
              "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../dialog.log\"\n");
  std::filesystem::permissions(game_.folder() + "/bin/zenity", std::filesystem::perms::owner_all);
  HostProcess host(game_, display_->display());
  // Host messages carry an empty list of additional objects.
  const Window window = waitForPage(host, "ready:true0");
  ASSERT_NE(window, 0u);

  std::string tenBytes;
  for (char byte : media.substr(1000, 10)) {
    tenBytes += (tenBytes.empty() ? "" : ".") + std::to_string(static_cast<uint8_t>(byte));
  }
  EXPECT_EQ(step(window, "ranges"), "206,bytes 1000-1009/300000," + tenBytes + ",error");
  EXPECT_EQ(step(window, "large"), SumOf(large));

  // Whatever the method, and while another process takes every connection it can to the
  // loopback ports of the host (the side channel, the port the app host name leads to,
  // the message socket), the game gets its file whole and its messages through; the
  // intruder gets no byte, not even a "not found".
  const std::set<uint16_t> ports = ListeningLoopbackPorts(host.pid());
  ASSERT_EQ(ports.size(), 3u);
  {
    std::vector<std::unique_ptr<Hammer>> hammers;
    for (uint16_t port : ports) hammers.push_back(std::make_unique<Hammer>(port));
    ASSERT_TRUE(X11Probe::waitFor([&] {
      return std::all_of(hammers.begin(), hammers.end(), [](auto& h) { return h->connects > 300; });
    }));
    const std::string sum = SumOf(mid);
    EXPECT_EQ(step(window, "methods"), sum + ";" + sum + ";" + sum + ";" + sum + ";" + sum);
    EXPECT_EQ(step(window, "answer"), "answered");
    // Capturing listeners first; one registration per listener; "once", an aborted
    // signal and a removal honoured; a listener added during a dispatch called from the
    // next message on; a listener's exception reported without keeping the next from its
    // call; nothing after stopImmediatePropagation.
    const std::string perMessage = "bubble,true/true/message/number,object,stop";
    EXPECT_EQ(step(window, "listeners"), perMessage + "," + perMessage + ";true,true;1;1");
    for (auto& hammer : hammers) EXPECT_EQ(hammer->answered.load(), 0u);
  }

  EXPECT_EQ(step(window, "limits"), "RangeError,RangeError,RangeError,sent,true,undefined");
  EXPECT_EQ(step(window, "permissions"), "granted,granted,granted,granted");

  // A named frame is a target like a window's name; other targets go to the desktop's
  // handler, the form with its query and the link as clicked, and never to a browser window.
  EXPECT_EQ(step(window, "frames"), "true,?by=open,?by=form");
  command(R"js("eval": "document.getElementById('search').requestSubmit()")js");
  const std::string search = "https://example.org/search?q=a+b%26c&lang=fr\n";
  EXPECT_TRUE(X11Probe::waitFor([&] { return game_.opened() == search; })) << game_.opened();
  auto [x, y] = probe_->clientOrigin(window);
  xdotool("mousemove " + std::to_string(x + 10) + " " + std::to_string(y + 10) + " click 1");
  EXPECT_TRUE(X11Probe::waitFor([&] {
    return game_.opened() == search + "https://example.org/page\n";
  })) << game_.opened();

  // The browser's own keys (reload, tools) reach the page marked handled. Keys reach the
  // page on their own path, so the test waits for them. The tools key comes last: the
  // browser may still open its tools window for it, which then takes the keyboard.
  xdotool("key ctrl+r F12");
  EXPECT_TRUE(pageSays("keys.join(',')", window,
                       [](const std::string& keys) { return keys == "82!,123!"; }));

  // A top navigation the game made without a request is stopped or undone.
  for (const std::string target :
       {"'https://example.com/elsewhere'", "'about:blank'",
        "URL.createObjectURL(new Blob(['<title>elsewhere</title>'], {type: 'text/html'}))"}) {
    command("\"eval\": \"document.title = 'leaving'; setTimeout(() => { location.href = " + target +
            "; }, 0)\"");
    ASSERT_TRUE(probe_->waitForTitle(window, "leaving")) << target;
    EXPECT_TRUE(pageSays("location.href", window, [](const std::string& where) {
      return where == "https://tavrelle.localhost/index.html";
    })) << target;
  }

  // The browser going away ends the game with code 2, once the player has read why.
  const pid_t browser = BrowserOf(host.pid());
  ASSERT_GT(browser, 0);
  ASSERT_EQ(kill(browser, SIGKILL), 0);
  EXPECT_EQ(host.waitForExit(60s), 2) << host.standardError();
  EXPECT_NE(ReadAll(game_.folder() + "/dialog.log").find("--text=The web view runtime stopped"),
            std::string::npos);
}

}  // namespace
}  // namespace tavrelle::test
