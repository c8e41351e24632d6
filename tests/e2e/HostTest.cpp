// The whole host, as a player runs it: a game folder beside the executable, a real
// display with a window manager, the real browser.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>

#include "support/HostOnDisplayTest.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;

// The page reports every host message in its title.
const std::string kDriverPage = DrivenPage(R"(<title>Configured</title><script>
document.addEventListener('DOMContentLoaded', () => { window.contentLoadedAt = Date.now(); });
const until = Date.now() + 2000; while (Date.now() < until) {}
</script><p>driver</p>)",
                                           R"(host.addEventListener('message', e => {
  const m = e.data;
  document.title = 'event:' + m.type + ('isFullscreen' in m ? ':' + m.isFullscreen : '');
});
)");

using HostTest = HostOnDisplayTest<true>;

TEST_F(HostTest, GameRunsPlaysSoundAndObeysWindowCommandsThenClosesWithCodeZero) {
  game_.write("package.json", R"({"name": "e2e-driver", "window": {"title": "Configured",
                "width": 640, "height": 480, "background-color": [10, 20, 30]}})");
  game_.write("www/index.html", kDriverPage);
  HostProcess host(game_, display_->display());
  Window window = probe_->waitForHostWindow(host.pid());
  ASSERT_NE(window, 0u) << host.standardError();

  // Shown once the document has loaded (its parser was kept busy for two seconds),
  // at the configured client size.
  ASSERT_TRUE(X11Probe::waitFor([&] { return probe_->isViewable(window); }))
      << host.standardError();
  const auto shownAt = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  EXPECT_EQ(probe_->clientSize(window), std::make_pair(640, 480));
  ASSERT_TRUE(probe_->waitForTitle(window, "event:wrapper-init-response"));
  command(R"js("eval": "document.title = 'loaded:' + window.contentLoadedAt")js");
  ASSERT_TRUE(X11Probe::waitFor([&] { return probe_->title(window).starts_with("loaded:"); }));
  EXPECT_LE(std::stoll(probe_->title(window).substr(7)), shownAt.count());

  // Web Audio plays without a gesture: the context runs and its output clock advances.
  EXPECT_TRUE(
      pageSays("(window.sound = window.sound || new AudioContext()).state + ' ' + "
               "(sound.currentTime > 0.2)",
               window, [](const std::string& said) { return said == "running true"; }));

  command(R"js("post": {"type": "set-window-size", "windowWidth": 500, "windowHeight": 400})js");
  EXPECT_TRUE(
      X11Probe::waitFor([&] { return probe_->clientSize(window) == std::make_pair(500, 400); }));

  command(R"js("post": {"type": "set-fullscreen", "fullscreen": true})js");
  EXPECT_TRUE(probe_->waitForTitle(window, "event:fullscreen-change:true"));
  EXPECT_TRUE(
      X11Probe::waitFor([&] { return probe_->clientSize(window) == probe_->screenSize(); }));
  command(R"js("post": {"type": "set-fullscreen", "fullscreen": false})js");
  EXPECT_TRUE(probe_->waitForTitle(window, "event:fullscreen-change:false"));
  EXPECT_TRUE(
      X11Probe::waitFor([&] { return probe_->clientSize(window) == std::make_pair(500, 400); }));

  command(R"js("eval": "window.close()")js");
  EXPECT_EQ(host.waitForExit(60s), 0) << host.standardError();
}

}  // namespace
}  // namespace tavrelle::test
