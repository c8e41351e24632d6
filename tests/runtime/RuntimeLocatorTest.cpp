#include "runtime/RuntimeLocator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/linux/PosixLocatorPorts.h"
#include "support/TempDir.h"

namespace tavrelle::runtime {
namespace {

class FakeEnvironment final : public LocatorEnvironment {
 public:
  [[nodiscard]] std::optional<std::string> variable(const std::string& name) const override {
    auto found = variables.find(name);
    if (found == variables.end() || found->second.empty()) return std::nullopt;
    return found->second;
  }
  [[nodiscard]] std::variant<std::string, HResult> executablePath() const override {
    return std::string("/games/quest/tavrelle");
  }
  std::map<std::string, std::string> variables;
};

// Browsers answer --product-version with the version set for their path.
class FakeProcesses final : public ProcessRunner {
 public:
  std::optional<std::string> outputOf(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds /*timeout*/) override {
    runs.push_back(executable);
    auto found = answers.find(executable);
    if (found == answers.end() || arguments != std::vector<std::string>{"--product-version"}) {
      return std::nullopt;
    }
    return found->second + "\n";
  }
  std::map<std::string, std::string> answers;
  std::vector<std::string> runs;
};

class FakeClient final : public RuntimeClient {
 public:
  HResult Load(const std::string&) override { return loadResult; }
  [[nodiscard]] bool OffersEnvironmentCreation(const std::string&) const override { return true; }
  HResult CreateEnvironment(const ClientEnvironmentRequest& request,
                            webview::EnvironmentCompletedHandler handler) override {
    requests.push_back(request);
    HResult result = createResults.empty() ? kOk : createResults.front();
    if (!createResults.empty()) createResults.erase(createResults.begin());
    if (Succeeded(result)) handlers.push_back(std::move(handler));
    return result;
  }
  HResult loadResult = kOk;
  std::vector<HResult> createResults;  // in order; kOk once they are used up
  std::vector<ClientEnvironmentRequest> requests;
  std::vector<webview::EnvironmentCompletedHandler> handlers;
};

// The machine: a folder tree standing in for / with Debian's stable browser installed,
// fake variables, browsers that answer a version question and a client that records what
// it was asked to start.
class RuntimeLocatorTest : public ::testing::Test {
 protected:
  RuntimeLocatorTest() : files(dir.path()) {
    installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  }

  // A browser executable "<folder>/<name>" below the root that answers `version`.
  void installBrowser(const std::string& folder, const std::string& version = "120.0.6099.71",
                      const std::string& name = "chrome") {
    const std::string path = folder + "/" + name;
    dir.writeFile(path.substr(1), "#!/bin/sh\n");
    std::filesystem::permissions(real(path), std::filesystem::perms::owner_all);
    processes.answers[path] = version;
  }
  void installBeta() { installBrowser("/opt/google/chrome-beta", "157.0.1.2"); }
  void writeFile(const std::string& path, const std::string& text) const {
    dir.writeFile(path.substr(1), text);
  }
  [[nodiscard]] std::string real(const std::string& path) const { return dir.path() + path; }

  RuntimeLocator& locator() {
    if (!locator_) {
      LocatorPorts ports;
      ports.environment = &environment;
      ports.files = &files;
      ports.processes = &processes;
      ports.isElevated = [this] {
        ++elevationQuestions;
        return elevated;
      };
      ports.debugOutput = [this](std::string_view text) { debug += text; };
      ports.traceOutput = [this](std::string_view event) { events.emplace_back(event); };
      ports.post = [this](std::function<void()> task) { posted.push_back(std::move(task)); };
      locator_ = std::make_unique<RuntimeLocator>(ports, client, "/etc/tavrelle/policies/");
    }
    return *locator_;
  }
  // A new locator over the same machine, as in the next start of the host.
  void restart() { locator_.reset(); }

  std::optional<std::string> version(const std::optional<std::string>& folder = std::nullopt) {
    std::optional<std::string> text;
    lastResult = locator().GetAvailableCoreWebView2BrowserVersionString(folder, &text);
    return text;
  }
  HResult create(const std::optional<std::string>& folder = std::nullopt) {
    return locator().CreateCoreWebView2EnvironmentWithOptions(
        folder, std::string("/home/p/.local/share/quest"), std::nullopt,
        [this](const webview::CreationResult& result, auto) { delivered.push_back(result); });
  }
  // The client path a creation asked for, or "failed".
  std::string created(const std::optional<std::string>& folder = std::nullopt) {
    return Succeeded(create(folder)) ? client.requests.back().clientPath : "failed";
  }

  tavrelle::test::TempDir dir;
  FakeEnvironment environment;
  linux_platform::PosixLocatorFiles files;
  FakeProcesses processes;
  FakeClient client;
  bool elevated = false;
  int elevationQuestions = 0;
  std::string debug;
  std::vector<std::string> events;
  std::vector<std::function<void()>> posted;
  HResult lastResult = kOk;
  std::vector<webview::CreationResult> delivered;

 private:
  std::unique_ptr<RuntimeLocator> locator_;
};

TEST_F(RuntimeLocatorTest, NormalStartTakesTheMostStableInstallAndWritesNothing) {
  installBeta();
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(lastResult, kOk);
  EXPECT_EQ(debug, "");
  EXPECT_TRUE(events.empty());
}

TEST_F(RuntimeLocatorTest, ChannelVariablesChooseWhatIsSearchedAndInWhichOrder) {
  installBeta();
  installBrowser("/opt/google/chrome-canary", "158.0.0.1");
  struct Case {
    const char *channels, *kind, *preference, *expected;  // expected nullptr: none found
  };
  for (const Case& c :
       {Case{"1, 3", nullptr, nullptr, "157.0.1.2 beta"},
        Case{"1, 3", "1", nullptr, "158.0.0.1 canary"},
        Case{"0,1", "0", "1", "156.0.8078.129"},  // kind 0 is set: no preference
        Case{"0,1", nullptr, "1", "157.0.1.2 beta"}, Case{",", nullptr, nullptr, nullptr}}) {
    SCOPED_TRACE(std::string(c.channels) + " / " + (c.kind ? c.kind : "-"));
    environment.variables = {{"WEBVIEW2_RELEASE_CHANNELS", c.channels}};
    if (c.kind) environment.variables["WEBVIEW2_CHANNEL_SEARCH_KIND"] = c.kind;
    if (c.preference) environment.variables["WEBVIEW2_RELEASE_CHANNEL_PREFERENCE"] = c.preference;
    EXPECT_EQ(version(), c.expected ? std::optional<std::string>(c.expected) : std::nullopt);
  }
  EXPECT_EQ(lastResult, kFileNotFound);
}

TEST_F(RuntimeLocatorTest, EdgeViewModeMeansEdgeItselfInTheStableSlot) {
  environment.variables["WEBVIEW2_USE_EDGE_VIEW"] = "1";
  EXPECT_EQ(create(), kFileNotFound);
  installBrowser("/opt/microsoft/msedge", "140.0.1.1", "msedge");
  EXPECT_EQ(created(), "/opt/microsoft/msedge/msedge");
  EXPECT_EQ(client.requests.back().kind, RuntimeKind::EdgeView);
}

TEST_F(RuntimeLocatorTest, IncompatibleVersionsAreSkippedAndTheSearchGoesOn) {
  installBrowser("/opt/google/chrome", "86.0.615.99");
  installBrowser("/usr/lib/chromium", "86.0.616.0", "chromium");
  EXPECT_EQ(version(), "86.0.616.0");
}

TEST_F(RuntimeLocatorTest, ReportedVersionsAreRememberedAcrossStarts) {
  environment.variables["XDG_CACHE_HOME"] = "/home/p/.cache";
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(files.kindOf("/home/p/.cache/tavrelle/browser-versions.json"), FileKind::Regular);
  restart();
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(processes.runs.size(), 1u) << "a normal start does not run the browser";
  // An update changes the executable: asked again.
  processes.answers["/usr/lib/chromium/chromium"] = "157.0.0.1";
  writeFile("/usr/lib/chromium/chromium", "#!/bin/sh\n# updated\n");
  restart();
  EXPECT_EQ(version(), "157.0.0.1");
}

TEST_F(RuntimeLocatorTest, ABrowserThatGivesNoVersionIsNoRuntime) {
  installBrowser("/opt/google/chrome", "not a version");
  EXPECT_EQ(version(), "156.0.8078.129");
  installBrowser("/srv/fixed", "garbage");
  EXPECT_EQ(version(std::string("/srv/fixed")), std::nullopt);
  EXPECT_EQ(lastResult, kNotSupported);
}

TEST_F(RuntimeLocatorTest, RelativeFoldersAreBesideTheExecutable) {
  installBrowser("/games/quest/webview2", "130.0.0.1", "chromium");
  EXPECT_EQ(created(std::string("webview2")), "/games/quest/webview2/chromium");
  EXPECT_EQ(client.requests[0].kind, RuntimeKind::Folder);
  EXPECT_EQ(client.requests[0].version, "130.0.0.1");
  EXPECT_EQ(client.requests[0].userDataFolder, "/home/p/.local/share/quest");
}

TEST_F(RuntimeLocatorTest, AGivenFolderNeverFallsBackToAnInstallButAnEmptyOneSearches) {
  dir.makeFolder("games/quest/webview2");
  EXPECT_EQ(version(std::string("webview2")), std::nullopt);
  EXPECT_EQ(lastResult, kFileNotFound);
  EXPECT_EQ(version(std::string("")), "156.0.8078.129");
}

TEST_F(RuntimeLocatorTest, FolderFromTheEnvironmentThenMachinePolicyByNameThenUserWildcard) {
  installBrowser("/srv/machine", "140.0.0.1");
  installBrowser("/srv/user", "141.0.0.1");
  environment.variables["HOME"] = "/home/p";
  environment.variables["XDG_CONFIG_HOME"] = "/home/p/conf";
  writeFile("/home/p/conf/tavrelle/policies/BrowserExecutableFolder.json", R"({"*": "/srv/user"})");
  EXPECT_EQ(version(), "141.0.0.1");
  writeFile("/etc/tavrelle/policies/BrowserExecutableFolder.json",
            R"({"other-game": "/nowhere", "tavrelle": "/srv/machine"})");
  EXPECT_EQ(version(), "140.0.0.1");
  environment.variables["WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"] = "/usr/lib/chromium";
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(version(std::string("webview2")), "156.0.8078.129");  // replaces the caller's too
}

TEST_F(RuntimeLocatorTest, BrokenOrMistypedPoliciesAreMissingKeys) {
  installBeta();
  for (const auto& [file, text, expected] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"ReleaseChannels", R"({"tavrelle": "1")", "156.0.8078.129"},
           // A flag may be a number or a text.
           {"ChannelSearchKind", R"({"*": 1})", "157.0.1.2 beta"},
           {"ChannelSearchKind", R"({"*": true})", "156.0.8078.129"}}) {
    writeFile("/etc/tavrelle/policies/" + file + ".json", text);
    EXPECT_EQ(version(), expected) << text;
  }
}

TEST_F(RuntimeLocatorTest, UserDataFolderPolicyTakesNoWildcard) {
  writeFile("/etc/tavrelle/policies/UserDataFolder.json", R"({"*": "/var/shared"})");
  EXPECT_EQ(create(), kOk);
  EXPECT_EQ(client.requests.back().userDataFolder, "/home/p/.local/share/quest");
  writeFile("/etc/tavrelle/policies/UserDataFolder.json", R"({"tavrelle": "/var/quest"})");
  EXPECT_EQ(create(), kOk);
  EXPECT_EQ(client.requests.back().userDataFolder, "/var/quest");
}

// A process running as root trusts nothing the user controls and writes nothing of theirs.
TEST_F(RuntimeLocatorTest, ElevatedProcessIgnoresTheUsersVariablesPoliciesAndCache) {
  installBeta();
  elevated = true;
  environment.variables = {{"HOME", "/home/p"},
                           {"XDG_CACHE_HOME", "/home/p/.cache"},
                           {"WEBVIEW2_RELEASE_CHANNELS", "1"},
                           {"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER", "/opt/google/chrome-beta"},
                           {"WEBVIEW2_USE_EDGE_VIEW", "1"}};
  writeFile("/home/p/.config/tavrelle/policies/ChannelSearchKind.json", R"({"*": 1})");
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(version(), "156.0.8078.129");
  EXPECT_EQ(elevationQuestions, 1);
  EXPECT_EQ(files.kindOf("/home/p/.cache/tavrelle"), FileKind::Missing);
  EXPECT_EQ(files.kindOf("/var/cache/tavrelle/browser-versions.json"), FileKind::Regular);
  writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"*": "1"})");
  EXPECT_EQ(version(), "157.0.1.2 beta") << "machine policies still apply";
}

class DowngradeVersionTest : public RuntimeLocatorTest {
 protected:
  void SetUp() override {
    installBrowser("/opt/google/chrome", "131.0.6778.85");
    installBrowser("/opt/google/120.0.6099.71", "9.9.9.9");
    environment.variables["TAVRELLE_LOCATOR_TRACE"] = "1";
  }
  void pin(const std::string& version) {
    writeFile("/etc/tavrelle/policies/DowngradeVersion.json",
              nlohmann::json{{"tavrelle", version}}.dump());
  }
  nlohmann::json lastEvent() const { return nlohmann::json::parse(events.back()); }
};

TEST_F(DowngradeVersionTest, PinnedVersionFolderBesideTheStableInstallIsUsed) {
  pin("120.0.6099.71");
  EXPECT_EQ(version(), "120.0.6099.71");
  EXPECT_EQ(lastEvent()["Applied"], true);
  EXPECT_EQ(created(std::string("webview2")), "/opt/google/120.0.6099.71/chrome");
}

TEST_F(DowngradeVersionTest, OutcomesThatDoNotApplyLeaveTheNormalSearch) {
  dir.makeFolder("opt/google/123.0.0.1");
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"120.0.6099", "Invalid version format"},
      {"123.0.0.1", "Exact version folder holds no browser"},
  };
  for (const auto& [pinned, message] : cases) {
    SCOPED_TRACE(pinned);
    pin(pinned);
    events.clear();
    EXPECT_EQ(version(), "131.0.6778.85");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(lastEvent()["Message"], message);
    EXPECT_EQ(lastEvent()["Applied"], false);
  }
}

TEST_F(DowngradeVersionTest, UserPoliciesCannotPin) {
  environment.variables["HOME"] = "/home/p";
  writeFile("/home/p/.config/tavrelle/policies/DowngradeVersion.json",
            R"({"tavrelle": "120.0.6099.71"})");
  EXPECT_EQ(version(), "131.0.6778.85");
  EXPECT_TRUE(events.empty());
}

TEST_F(RuntimeLocatorTest, InaccessibleExecutablesAreSkipped) {
  installBrowser("/opt/google/chrome");
  std::filesystem::permissions(real("/opt/google/chrome/chrome"),
                               std::filesystem::perms::owner_read);
  EXPECT_EQ(version(), "156.0.8078.129");
}

TEST_F(RuntimeLocatorTest, ClientThatDoesNotLoadFailsWithItsCode) {
  client.loadResult = kModuleNotFound;
  EXPECT_EQ(create(), kModuleNotFound);
  EXPECT_TRUE(client.requests.empty());
}

TEST_F(RuntimeLocatorTest, FailedCreationIsTriedTwice) {
  client.createResults = {kFailed, kFailed};
  EXPECT_EQ(create(), kFailed);
  EXPECT_EQ(client.requests.size(), 2u);
  client.createResults = {kFailed};
  EXPECT_EQ(create(), kOk);
  EXPECT_EQ(client.requests.size(), 4u);
}

TEST_F(RuntimeLocatorTest, FailureReportedLaterIsTriedOnceMore) {
  ASSERT_EQ(create(), kOk);
  client.handlers[0](webview::CreationResult{false, "browser died"}, nullptr);
  EXPECT_TRUE(delivered.empty()) << "the retry is under way";
  ASSERT_EQ(client.handlers.size(), 2u);
  client.handlers[1](webview::CreationResult{false, "died again"}, nullptr);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].error, "died again");
  EXPECT_EQ(client.handlers.size(), 2u);
}

TEST_F(RuntimeLocatorTest, RetryThatCannotStartReportsItsOwnFailure) {
  ASSERT_EQ(create(), kOk);
  std::filesystem::remove_all(real("/usr/lib/chromium"));
  client.handlers[0](webview::CreationResult{false, "browser died"}, nullptr);
  ASSERT_EQ(delivered.size(), 1u);
  EXPECT_EQ(delivered[0].error, CreationFailureText(kFileNotFound));
}

TEST_F(RuntimeLocatorTest, HostCallThatFailsAtOnceStillHearsThroughTheLoop) {
  std::filesystem::remove_all(real("/usr/lib/chromium"));
  std::optional<webview::CreationResult> heard;
  locator().CreateEnvironmentWithOptions(
      std::nullopt, "/tmp/profile", {},
      [&](const webview::CreationResult& result, auto) { heard = result; });
  EXPECT_FALSE(heard);
  ASSERT_EQ(posted.size(), 1u);
  posted[0]();
  ASSERT_TRUE(heard);
  EXPECT_FALSE(heard->succeeded);
  EXPECT_EQ(heard->error, "no usable browser was found (0x80070002)");
}

}  // namespace
}  // namespace tavrelle::runtime
