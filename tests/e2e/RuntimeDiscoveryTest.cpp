// How the real host finds its browser, run as an unprivileged player (root counts as
// elevated and would ignore the overrides). Browsers here are wrapper scripts that write
// down how they were run and answer the version question themselves, so most tests see
// the host's choice at its runtime check, without a display.

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/ChildProcess.h"
#include "support/TempDir.h"
#include "support/XvfbSession.h"

namespace tavrelle::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr uid_t kNobody = 65534;
constexpr const char* kInstallMessage =
    "This app requires a Chromium-based web browser (Chromium, Google Chrome or Microsoft "
    "Edge).";

void WriteExecutable(const std::string& path, const std::string& text) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << text;
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

// A game folder with a host copy under its own name, owned by the unprivileged player.
class PlayerGame {
 public:
  explicit PlayerGame(const std::string& hostName = "tavrelle") : host_(dir_.pathOf(hostName)) {
    fs::copy_file(TAVRELLE_HOST, host_);
    dir_.writeFile("package.json", R"({"name": "player-game"})");
    dir_.writeFile("www/index.html", "<!doctype html><title>game</title><p>game</p>");
    // Should the host want to open a page, it never reaches a real browser.
    WriteExecutable(dir_.pathOf("bin/xdg-open"), "#!/bin/sh\n");
    for (const char* folder : {"home", "data", "cache", "config"}) dir_.makeFolder(folder);
    dir_.writeFile("browser.log", "");
  }

  [[nodiscard]] std::string pathOf(const std::string& relative) const {
    return dir_.pathOf(relative);
  }
  [[nodiscard]] std::string browserLog() const { return ReadAll(pathOf("browser.log")); }
  // A browser that logs "<its path> <arguments>", answers --product-version itself, and
  // otherwise runs Debian's browser with the same arguments.
  void installBrowser(const std::string& relative) const {
    WriteExecutable(pathOf(relative), "#!/bin/sh\necho \"$0 $*\" >> " + pathOf("browser.log") +
                                          "\nif [ \"$1\" = --product-version ]; then echo "
                                          "156.0.0.1; exit 0; fi\nexec /usr/lib/chromium/chromium "
                                          "\"$@\"\n");
  }

  // Runs the host as the player until it exits; its exit code.
  std::optional<int> run(const std::map<std::string, std::string>& variables,
                         const std::string& display = {},
                         const std::function<bool()>& stopWhen = nullptr) {
    handOverToPlayer();
    std::vector<std::string> env = {
        "PATH=" + pathOf("bin") + ":/usr/bin:/bin", "HOME=" + pathOf("home"),
        "XDG_DATA_HOME=" + pathOf("data"),          "XDG_CACHE_HOME=" + pathOf("cache"),
        "XDG_CONFIG_HOME=" + pathOf("config"),
    };
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    for (const auto& [name, value] : variables) env.push_back(name + "=" + value);
    const pid_t pid = linux_platform::StartProgram(
        {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", host_},
        {.quiet = true, .stderrFile = pathOf("stderr.log"), .environment = env});
    if (pid < 0) return std::nullopt;
    // Generous: a loaded machine starts a browser slowly. stopWhen ends the host early.
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (auto code = linux_platform::WaitForProgramFor(pid, 50ms)) return code;
      if (stopWhen && stopWhen()) {
        linux_platform::StopProgram(pid, 30s);
        return 0;
      }
    }
    linux_platform::StopProgram(pid, 0ms);
    return std::nullopt;
  }

  [[nodiscard]] std::string standardError() const { return ReadAll(pathOf("stderr.log")); }

 private:
  void handOverToPlayer() const {
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) ADD_FAILURE() << entry.path();
    }
    if (chown(dir_.path().c_str(), kNobody, kNobody) != 0) ADD_FAILURE() << dir_.path();
    chmod(dir_.path().c_str(), 0755);
  }

  TempDir dir_;
  std::string host_;
};

class RuntimeDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
      GTEST_SKIP() << "needs root to run the host as an unprivileged player";
    }
  }
};

// With a display, the browser in the folder the variable names is the one the game
// runs in.
TEST_F(RuntimeDiscoveryTest, BrowserFolderOverride) {
  PlayerGame game;
  XvfbSession display({});
  ASSERT_TRUE(display.ready()) << display.error();
  game.installBrowser("dev-browser/chromium");
  game.run({{"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", game.pathOf("dev-browser")}}, display.display(),
           [&] { return game.browserLog().find("--remote-debugging-pipe") != std::string::npos; });
  const std::string log = game.browserLog();
  EXPECT_NE(log.find(game.pathOf("dev-browser/chromium") + " "), std::string::npos) << log;
  EXPECT_NE(log.find("--remote-debugging-pipe"), std::string::npos) << log << game.standardError();
}

// The machine root is the real /etc/tavrelle/policies. The policy names only this test's
// own executable name, so hosts of other tests running meanwhile are not affected.
TEST_F(RuntimeDiscoveryTest, MachinePolicyChoosesTheFolder) {
  const std::string hostName = "tavrelle-policy-e2e-" + std::to_string(getpid());
  const std::string policy = "/etc/tavrelle/policies/BrowserExecutableFolder.json";
  if (fs::exists(policy)) GTEST_SKIP() << policy << " exists already; not touching it";
  // Removes what the test made outside its own folder, also when it fails early.
  const std::string made = fs::exists("/etc/tavrelle") ? policy : "/etc/tavrelle";
  const std::shared_ptr<void> removeAtEnd(nullptr, [&](void*) {
    std::error_code ignored;
    fs::remove_all(made, ignored);
  });
  PlayerGame game(hostName);
  game.installBrowser("machine-browser/msedge");
  fs::create_directories("/etc/tavrelle/policies");
  std::ofstream(policy) << R"({")" << hostName << R"(": ")" << game.pathOf("machine-browser")
                        << R"("})";
  chmod(policy.c_str(), 0644);
  game.run({});
  // The host went past its runtime check with that browser: it asked it for its version.
  EXPECT_NE(game.browserLog().find(game.pathOf("machine-browser/msedge") + " --product-version"),
            std::string::npos)
      << game.browserLog() << game.standardError();
  EXPECT_EQ(game.standardError().find(kInstallMessage), std::string::npos);
}

}  // namespace
}  // namespace tavrelle::test
