#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {

// A game page: its markup, then its script (which has the web view as `host`), then the
// test's driver, which starts the handshake ("wrapper-init") once the page listens.
// run('<step>') runs the page's steps[step]() and shows "<step>:<result>" in the title
// (see HostOnDisplayTest::step). The poller runs each new command the test writes to
// www/cmd.json (see StagedGame::command): "post" (one message or a list) goes to the host,
// then "eval" runs.
inline std::string DrivenPage(const std::string& markup, const std::string& script) {
  return "<!doctype html>" + markup + "<script>const host = window.chrome.webview;\n" + script + R"(
host.postMessage(JSON.stringify({type: 'wrapper-init'}));
async function run(step) {
  let result;
  try { result = await steps[step](); } catch (e) { result = 'threw ' + e.name + ' ' + e.message; }
  document.title = step + ':' + result;
}
let lastSeq = 0;
(async function poll() {
  try {
    const response = await fetch('cmd.json');
    const command = response.ok ? await response.json() : {};
    if (command.seq > lastSeq) {
      lastSeq = command.seq;
      if (command.post) [].concat(command.post).forEach(p => host.postMessage(JSON.stringify(p)));
      if (command.eval) (0, eval)(command.eval);
    }
  } catch (e) {}
  setTimeout(poll, 50);
})();
</script>)";
}

// A suite of whole-host tests sharing one private display (with or without a window
// manager); each test stages its own game beside a copy of the host (end-to-end only).
template <bool kWindowManager, int kWidth = 1280, int kHeight = 1024>
class HostOnDisplayTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ =
        std::make_unique<XvfbSession>(XvfbSession::Options{kWindowManager, kWidth, kHeight, {}});
  }
  static void TearDownTestSuite() { display_.reset(); }

  void SetUp() override {
    ASSERT_TRUE(display_->ready()) << display_->error();
    probe_ = std::make_unique<X11Probe>(display_->display());
    ASSERT_TRUE(probe_->connected());
  }

  // The host's window once it is shown and the page has put `title` there; 0 when it
  // never came to that.
  Window waitForPage(const HostProcess& host, const std::string& title) {
    const Window window = probe_->waitForHostWindow(host.pid());
    if (window != 0 && probe_->waitForTitle(window, title) &&
        X11Probe::waitFor([&] { return probe_->isViewable(window); })) {
      return window;
    }
    ADD_FAILURE() << "no shown page titled " << title
                  << " (title: " << (window != 0 ? probe_->title(window) : "no window") << ")\n"
                  << host.standardError();
    return 0;
  }

  // The next command for the page's poller.
  void command(const std::string& member) { game_.command(++commandSeq_, member); }

  // Asks the page, again and again, to put the value of `expression` (no double quotes
  // in it) into its title, until the value satisfies `test`.
  bool pageSays(const std::string& expression, Window window,
                const std::function<bool(const std::string&)>& test) {
    const std::string ask = "\"eval\": \"document.title = 'said:' + (" + expression + ")\"";
    std::string last;
    int polls = 0;
    bool ok = X11Probe::waitFor([&] {
      if (polls++ % 10 == 0) command(ask);
      last = probe_->title(window);
      return last.starts_with("said:") && test(last.substr(5));
    });
    if (!ok) ADD_FAILURE() << "the page said: " << last;
    return ok;
  }

  // Runs one step of the page (see DrivenPage); its result, or what the title was.
  std::string step(Window window, const std::string& name) {
    command("\"eval\": \"run('" + name + "')\"");
    const std::string prefix = name + ":";
    std::string title;
    X11Probe::waitFor([&] { return (title = probe_->title(window)).starts_with(prefix); });
    return title.starts_with(prefix) ? title.substr(prefix.size()) : "(title " + title + ")";
  }

  // The player's pointer and keys, from the X server.
  void xdotool(const std::string& arguments) {
    const std::string line = "DISPLAY=" + display_->display() + " xdotool " + arguments;
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
  }

  static inline std::unique_ptr<XvfbSession> display_;
  std::unique_ptr<X11Probe> probe_;
  StagedGame game_{TAVRELLE_HOST};
  int commandSeq_ = 0;
};

}  // namespace tavrelle::test
