// Native extensions end to end: the sample extension-manager library in a single-file
// game packed by fusepack, the real host, browser and display.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "support/HostOnDisplayTest.h"
#include "support/TempDir.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;

// Keeps every host message; its title says "started" once the host has answered.
const std::string kDriverPage = DrivenPage("<title>driver</title>", R"(window.received = [];
host.addEventListener('message', e => {
  window.received.push(e.data);
  if (e.data.type === 'wrapper-init-response') document.title = 'started';
});
// What the test reads back: the extension traffic, in arrival order, as one title.
window.report = () => {
  const seen = JSON.stringify(window.received.filter(
      m => m.type === 'wrapper-init-response' || m.type === 'extension-message'));
  // ASCII only, so the window title carries it unchanged.
  return seen.replace(/[\u007f-\uffff]/g,
      c => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));
};
)");

std::set<std::string> FilesUnder(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(std::filesystem::relative(entry.path(), folder).string());
  }
  return names;
}

json AnswerOf(const json& report, const std::string& component) {
  for (const json& message : report) {
    if (message.value("component", "") == component && !message.contains("event")) return message;
  }
  return {};
}

using ExtensionTest = HostOnDisplayTest<false, 1024, 768>;

// The sample library packed into a single-file game by fusepack: unpacked afresh under
// the game's data folder, nothing written beside the game, and the library's messages
// reach the page in order both ways.
TEST_F(ExtensionTest, SingleFileGameTalksToItsUnpackedLibraryAndWritesNothingBesideItself) {
  const std::string name = "e2e-ext-single";
  TempDir source;
  source.writeFile("package.json", json{{"name", name},
                                        {"keelbridge-sample", {{"call-log", "calls.log"}}},
                                        {"bundle", {{"type", "single-file"}}}}
                                       .dump());
  source.writeFile("www/index.html", kDriverPage);
  source.writeFile("extensions/data/sub/readme.txt", "unpacked");
  std::filesystem::copy_file(TAVRELLE_SAMPLE_LIBRARY, source.pathOf("extensions/Keelbridge.so"));
  const std::string pack = std::string(TAVRELLE_FUSEPACK) + " single-file '" + source.path() +
                           "' -o '" + game_.hostPath() + "' --host '" + TAVRELLE_HOST + "'";
  ASSERT_EQ(std::system(pack.c_str()), 0) << pack;
  const std::string extensionFolder = game_.dataHome() + "/" + name + "/zxext/";
  game_.write("data/" + name + "/zxext/old/stale.so", "from an earlier version");
  game_.command(0, R"("eval": "0")");  // www/ beside the game, before the snapshot
  game_.write("stderr.log", "");
  const auto besideTheGame = [&] {
    std::set<std::string> names = FilesUnder(game_.folder());
    std::erase_if(names, [](const std::string& n) { return n.starts_with("data"); });
    return names;
  };
  const std::set<std::string> before = besideTheGame();
  EXPECT_FALSE(before.contains("package.json"));

  HostProcess host(game_, display_->display());
  const Window window = waitForPage(host, "started");
  ASSERT_NE(window, 0u);
  command(R"("post": [
      {"type": "extension-message", "component": "echo", "requestId": 7,
       "payload": {"words": ["grüße", 1.5, null]}},
      {"type": "extension-message", "component": "folders", "requestId": 8,
       "name": "<documents>"}], "eval": "document.title = 'posted'")");
  // Taken before the next command replaces it.
  ASSERT_TRUE(probe_->waitForTitle(window, "posted"));
  json report;
  pageSays("report()", window, [&](const std::string& text) {
    report = json::parse(text, nullptr, false);
    return report.is_array() && !AnswerOf(report, "echo").is_null() &&
           !AnswerOf(report, "folders").is_null();
  });
  ASSERT_GE(report.size(), 6u) << report.dump();

  // The answer to the handshake, then what the library posted before the page was
  // ready (during Init, then on the window's creation), in that order.
  EXPECT_EQ(report[0], (json{{"type", "wrapper-init-response"},
                             {"registeredComponentIds", {"echo", "folders"}}}));
  EXPECT_EQ(report[1].value("event", ""), "init");
  EXPECT_EQ(report[1].value("appFolder", ""), game_.folder() + "/");
  EXPECT_EQ(report[1].value("webRoot", ""), "www/");
  EXPECT_EQ(report[1].value("appDataFolder", ""), game_.dataHome() + "/" + name);
  EXPECT_EQ(report[1].value("extensionFolder", ""), extensionFolder);
  EXPECT_EQ(report[2].value("event", ""), "ready");
  EXPECT_EQ(report[3].value("event", ""), "window");
  EXPECT_EQ(report[3].value("window", 0ul), window);
  EXPECT_EQ(AnswerOf(report, "echo"), (json{{"type", "extension-message"},
                                            {"component", "echo"},
                                            {"requestId", 7},
                                            {"payload", {{"words", {"grüße", 1.5, nullptr}}}}}));
  EXPECT_EQ(AnswerOf(report, "folders").value("requestId", 0), 8);

  command(R"js("eval": "window.close()")js");
  EXPECT_EQ(host.waitForExit(20s), 0) << host.standardError();
  EXPECT_EQ(ReadAll(game_.dataHome() + "/" + name + "/calls.log"),
            "Init\nOnMainWindowCreated " + std::to_string(window) +
                "\nOnExtensionMessage echo\nOnExtensionMessage folders\nRelease\n");
  EXPECT_EQ(besideTheGame(), before);
  EXPECT_EQ(FilesUnder(extensionFolder),
            (std::set<std::string>{"Keelbridge.so", "data", "data/sub", "data/sub/readme.txt"}));
  EXPECT_EQ(ReadAll(extensionFolder + "data/sub/readme.txt"), "unpacked");
}

}  // namespace
}  // namespace tavrelle::test
