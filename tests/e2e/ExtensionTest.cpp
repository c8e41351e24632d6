// Native extensions end to end: the sample extension-manager library in a loose game
// and packed into a single-file game by fusepack, the real host, browser and display.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <nlohmann/json.hpp>

#include "fusepack/ResourceAppender.h"
#include "support/BundleBuilder.h"
#include "support/HostOnDisplayTest.h"
#include "support/TempDir.h"

namespace tavrelle::test {
namespace {

using namespace std::chrono_literals;
using json = nlohmann::json;

// Keeps every host message in `received` and runs the commands the test writes to
// cmd.json. Its title says "started" once the host has answered "wrapper-init".
const std::string kDriverPage = R"(<!doctype html>
<html><head><title>driver</title></head><body>
<script>
const host = window.chrome.webview;
window.received = [];
host.addEventListener('message', e => {
  window.received.push(e.data);
  if (e.data.type === 'wrapper-init-response') document.title = 'started';
});
host.postMessage(JSON.stringify({type: 'wrapper-init'}));
// What the test reads back: the extension traffic, in arrival order, as one title.
window.report = () => {
  const seen = JSON.stringify(window.received.filter(
      m => m.type === 'wrapper-init-response' || m.type === 'extension-message'));
  // ASCII only, so the window title carries it unchanged.
  return seen.replace(/[\u007f-\uffff]/g,
      c => '\\u' + c.charCodeAt(0).toString(16).padStart(4, '0'));
};
)" + std::string(kCommandPoller) +
                                R"(</script></body></html>)";

std::set<std::string> FilesUnder(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    names.insert(std::filesystem::relative(entry.path(), folder).string());
  }
  return names;
}

class ExtensionTest : public HostOnDisplayTest<false, 1024, 768> {
 protected:
  static std::string packageJson(const std::string& name, bool singleFile) {
    json package{{"name", name}, {"keelbridge-sample", {{"call-log", "calls.log"}}}};
    if (singleFile) package["bundle"] = {{"type", "single-file"}};
    return package.dump();
  }

  // Makes `game_` a single-file game built by fusepack from a game folder.
  void packSingleFile(const std::string& name) {
    source_.writeFile("package.json", packageJson(name, true));
    source_.writeFile("www/index.html", kDriverPage);
    source_.makeFolder("extensions");
    std::filesystem::copy_file(TAVRELLE_SAMPLE_LIBRARY, source_.pathOf("extensions/Keelbridge.so"),
                               std::filesystem::copy_options::overwrite_existing);
    source_.writeFile("extensions/data/sub/readme.txt", "unpacked");
    const std::string command = std::string(TAVRELLE_FUSEPACK) + " single-file '" + source_.path() +
                                "' -o '" + game_.hostPath() + "' --host '" + TAVRELLE_HOST + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }

  // Writes the next command and waits until the page has run it (the page reads only
  // the latest command, so each must be taken before the next is written).
  bool send(Window window, const std::string& member) {
    const std::string done = "done:" + std::to_string(commandSeq_ + 1);
    command(member + ", \"eval\": \"document.title = '" + done + "'\"");
    return probe_->waitForTitle(window, done);
  }

  // The extension traffic the page has seen, once `done` holds for it.
  json waitForReport(Window window, const std::function<bool(const json&)>& done) {
    json report;
    pageSays("report()", window, [&](const std::string& text) {
      report = json::parse(text, nullptr, false);
      return report.is_array() && done(report);
    });
    return report;
  }

  static json AnswerOf(const json& report, const std::string& component) {
    for (const json& message : report) {
      if (message.value("component", "") == component && !message.contains("event")) {
        return message;
      }
    }
    return {};
  }

  // Runs the game and checks everything the sample library does with it.
  void runAndCheck(const std::string& name, const std::string& extensionFolder) {
    HostProcess host(game_, display_->display());
    const Window window = waitForPage(host, "started");
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(send(window, R"("post": [
        {"type": "extension-message", "component": "echo", "requestId": 7,
         "payload": {"words": ["grüße", 1.5, null]}},
        {"type": "extension-message", "component": "folders", "requestId": 8,
         "name": "<documents>"}])"));
    const json report = waitForReport(window, [](const json& seen) {
      return !AnswerOf(seen, "echo").is_null() && !AnswerOf(seen, "folders").is_null();
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
    const json folders = AnswerOf(report, "folders");
    EXPECT_EQ(folders.value("requestId", 0), 8);
    EXPECT_EQ(folders.value("name", ""), "<documents>");
    documentsPath_ = folders.value("path", "?");

    command(R"js("eval": "window.close()")js");
    EXPECT_EQ(host.waitForExit(20s), 0) << host.standardError();
    EXPECT_EQ(ReadAll(game_.dataHome() + "/" + name + "/calls.log"),
              "Init\nOnMainWindowCreated " + std::to_string(window) +
                  "\nOnExtensionMessage echo\nOnExtensionMessage folders\nRelease\n");
  }

  TempDir source_;
  std::string documentsPath_;
};

TEST_F(ExtensionTest, LooseGameTalksToTheSampleLibraryBesideTheExecutable) {
  game_.write("package.json", packageJson("e2e-ext-loose", false));
  game_.write("www/index.html", kDriverPage);
  std::filesystem::copy_file(TAVRELLE_SAMPLE_LIBRARY, game_.folder() + "/Keelbridge.so");
  runAndCheck("e2e-ext-loose", game_.folder() + "/");
  // The answer is the host's folder table entry: empty while the host has none for
  // "<documents>", else the absolute path it registered.
  EXPECT_TRUE(documentsPath_.empty() || documentsPath_.starts_with("/")) << documentsPath_;
}

TEST_F(ExtensionTest, SingleFileGameUnpacksItsExtensionsAfreshAndWritesNothingBesideItself) {
  const std::string name = "e2e-ext-single";
  packSingleFile(name);
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
  EXPECT_FALSE(before.contains("www/index.html"));

  runAndCheck(name, extensionFolder);
  EXPECT_EQ(besideTheGame(), before);
  EXPECT_EQ(FilesUnder(extensionFolder),
            (std::set<std::string>{"Keelbridge.so", "data", "data/sub", "data/sub/readme.txt"}));
  EXPECT_EQ(ReadAll(extensionFolder + "data/sub/readme.txt"), "unpacked");
}

// An entry name that climbs out of the extension folder stops the game before anything
// is written, and before a window or a browser exists.
TEST_F(ExtensionTest, SingleFileGameWithAHostileExtensionNameDoesNotStart) {
  const std::string name = "e2e-ext-hostile";
  source_.writeFile("package.json", packageJson(name, true));
  source_.writeFile("www/index.html", kDriverPage);
  const std::string extensions = BundleBuilder()
                                     .addFile("Keelbridge.so", "ELF")
                                     .addFile("../escaped.txt", "one level up")
                                     .addFile("sub/../../../escaped.txt", "three levels up")
                                     .build();
  const std::string assets = BundleBuilder().addFile("index.html", kDriverPage).build();
  fusepack::AppendResources(
      TAVRELLE_HOST,
      {{"ZephyxData", "PackageJson", source_.pathOf("package.json")},
       {"ZephyxData", "AssetBundle", source_.writeFile("assets.zxab", assets)},
       {"ZephyxData", "Extensions", source_.writeFile("extensions.zxab", extensions)}},
      game_.hostPath());
  HostProcess host(game_, "");
  EXPECT_EQ(host.waitForExit(60s), 1);
  EXPECT_NE(host.standardError().find("Error reading extensions asset bundle"), std::string::npos)
      << host.standardError();
  EXPECT_FALSE(std::filesystem::exists(game_.dataHome() + "/" + name + "/escaped.txt"));
  EXPECT_FALSE(std::filesystem::exists(game_.dataHome() + "/escaped.txt"));
  EXPECT_FALSE(std::filesystem::exists(game_.dataHome() + "/" + name + "/zxext/Keelbridge.so"));
}

}  // namespace
}  // namespace tavrelle::test
