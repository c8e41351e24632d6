// How the real host finds its browser when a game ships its own. The shipped browser
// here is a wrapper script that writes down how it was run, answers the version question
// itself and otherwise runs Debian's browser with the same arguments.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/HostProcess.h"
#include "support/X11Probe.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

TEST(RuntimeDiscoveryTest, FixedDistributionRunsTheBrowserShippedBesideTheHost) {
  XvfbSession display({});
  ASSERT_TRUE(display.ready()) << display.error();
  StagedGame game(TAVRELLE_HOST);
  game.write("package.json",
             R"({"name": "fixed-game", "settings": {"distribution-mode": "fixed"}})");
  game.write("www/index.html", "<!doctype html><title>game</title><p>game</p>");
  const std::string browser = game.folder() + "/webview2/chromium";
  const std::string log = game.folder() + "/browser.log";
  game.write("webview2/chromium", "#!/bin/sh\necho \"$*\" >> " + log +
                                      "\nif [ \"$1\" = --product-version ]; then echo 156.0.0.1; "
                                      "exit 0; fi\nexec /usr/lib/chromium/chromium \"$@\"\n");
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  HostProcess host(game, display.display());
  // Only the shipped browser writes the log: it was started to be driven over the pipe.
  EXPECT_TRUE(X11Probe::waitFor([&] {
    return ReadAll(log).find("--remote-debugging-pipe") != std::string::npos;
  })) << host.standardError();
}

}  // namespace
}  // namespace tavrelle::test
