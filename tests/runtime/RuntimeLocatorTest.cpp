// The runtime locator over a prepared machine: overrides, policies, the channel search,
// versions, the failure results with their diagnostics, retries and telemetry.

#include "runtime/RuntimeLocator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/linux/PosixLocatorPorts.h"
#include "support/TempDir.h"

namespace tavrelle::runtime {
namespace {

// A machine for the runtime locator: a folder tree standing in for /, fake variables,
// a fake executable path and privilege answer, browsers that answer a version question,
// and a fake client that records what it was asked to start.
class FakeEnvironment final : public LocatorEnvironment {
 public:
  [[nodiscard]] std::optional<std::string> variable(const std::string& name) const override {
    auto found = variables.find(name);
    if (found == variables.end() || found->second.empty()) return std::nullopt;
    return found->second;
  }
  [[nodiscard]] std::variant<std::string, HResult> executablePath() const override {
    return exePath;
  }
  std::map<std::string, std::string> variables;
  std::variant<std::string, HResult> exePath = std::string("/games/quest/tavrelle");
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
  HResult Load(const std::string& clientPath) override {
    loads.push_back(clientPath);
    return loadResult;
  }
  [[nodiscard]] bool OffersEnvironmentCreation(const std::string&) const override {
    return offersCreation;
  }
  HResult CreateEnvironment(const ClientEnvironmentRequest& request,
                            webview::EnvironmentCompletedHandler handler) override {
    requests.push_back(request);
    HResult result = createResults.empty() ? kOk : createResults.front();
    if (!createResults.empty()) createResults.erase(createResults.begin());
    if (Succeeded(result)) handlers.push_back(std::move(handler));
    return result;
  }
  HResult loadResult = kOk;
  bool offersCreation = true;
  std::vector<HResult> createResults;  // in order; kOk once they are used up
  std::vector<std::string> loads;
  std::vector<ClientEnvironmentRequest> requests;
  std::vector<webview::EnvironmentCompletedHandler> handlers;
};

class LocatorTestBed {
 public:
  LocatorTestBed() : files(dir.path()) {}

  // A browser executable "<folder>/<name>" below the root that answers `version`.
  void installBrowser(const std::string& folder, const std::string& version = "120.0.6099.71",
                      const std::string& name = "chrome") {
    const std::string path = folder + "/" + name;
    dir.writeFile(path.substr(1), "#!/bin/sh\n");
    std::filesystem::permissions(dir.path() + path, std::filesystem::perms::owner_all |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
    processes.answers[path] = version;
  }
  void writeFile(const std::string& path, const std::string& text) const {
    dir.writeFile(path.substr(1), text);
  }
  void makeFolder(const std::string& path) const { dir.makeFolder(path.substr(1)); }
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

  HResult create(const std::optional<std::string>& folder = std::nullopt,
                 const std::optional<webview::EnvironmentOptions>& options = std::nullopt) {
    return locator().CreateCoreWebView2EnvironmentWithOptions(
        folder, std::string("/home/p/.local/share/quest"), options,
        [this](const webview::CreationResult& result,
               std::shared_ptr<webview::WebViewEnvironment> created) {
          delivered.push_back(result);
          deliveredEnvironments.push_back(std::move(created));
        });
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
  std::vector<std::shared_ptr<webview::WebViewEnvironment>> deliveredEnvironments;

 private:
  std::unique_ptr<RuntimeLocator> locator_;
};

constexpr const char* kNoRuntimeLine =
    "WebView2: Failed to find an installed WebView2 runtime or non-stable Microsoft Edge "
    "installation.\n";

class RuntimeLocatorTest : public ::testing::Test {
 protected:
  // Stable (Debian's folder) and beta (Google's) installs.
  void installStableAndBeta() {
    bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
    bed.installBrowser("/opt/google/chrome-beta", "157.0.1.2");
  }
  LocatorTestBed bed;
};

// ----- Channels -----

TEST_F(RuntimeLocatorTest, NormalStartTakesTheMostStableInstallAndWritesNothing) {
  installStableAndBeta();
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.lastResult, kOk);
  EXPECT_EQ(bed.debug, "");
  EXPECT_TRUE(bed.events.empty());
}

// The variables choose the channels and the direction of the search.
TEST_F(RuntimeLocatorTest, ChannelVariablesChooseWhatIsSearchedAndInWhichOrder) {
  installStableAndBeta();
  bed.installBrowser("/opt/google/chrome-canary", "158.0.0.1");
  bed.installBrowser("/opt/microsoft/msedge-dev", "158.0.0.9", "msedge");
  struct Case {
    const char *channels, *kind, *preference, *expected;
  };
  for (const Case& c : {Case{"1, 3", nullptr, nullptr, "157.0.1.2 beta"},
                        Case{"1, 3", "1", nullptr, "158.0.0.1 canary"},
                        Case{"0,1,2", "1", nullptr, "158.0.0.9 dev"},
                        Case{"0,1,2,3", "1", nullptr, "158.0.0.1 canary"},
                        Case{"x,7", "1", nullptr, "156.0.8078.129"},  // unknown means stable
                        Case{"0,1", "1", nullptr, "157.0.1.2 beta"},
                        Case{"0,1", "0", "1", "156.0.8078.129"},  // kind 0 is set: no preference
                        Case{"0,1", nullptr, "1", "157.0.1.2 beta"}}) {
    SCOPED_TRACE(std::string(c.channels) + " / " + (c.kind ? c.kind : "-"));
    bed.environment.variables = {{"WEBVIEW2_RELEASE_CHANNELS", c.channels}};
    if (c.kind) bed.environment.variables["WEBVIEW2_CHANNEL_SEARCH_KIND"] = c.kind;
    if (c.preference)
      bed.environment.variables["WEBVIEW2_RELEASE_CHANNEL_PREFERENCE"] = c.preference;
    EXPECT_EQ(bed.version(), c.expected);
  }
}

TEST_F(RuntimeLocatorTest, SingleCommaSearchesNothing) {
  installStableAndBeta();
  bed.environment.variables["WEBVIEW2_RELEASE_CHANNELS"] = ",";
  EXPECT_EQ(bed.version(), std::nullopt);
  EXPECT_EQ(bed.lastResult, kFileNotFound);
  EXPECT_EQ(bed.debug, std::string(kNoRuntimeLine) + kNoRuntimeLine);  // tried twice
  EXPECT_TRUE(bed.processes.runs.empty());
}

TEST_F(RuntimeLocatorTest, InstallLocationsOfAChannelAreTriedInOrder) {
  bed.installBrowser("/usr/lib/chromium-browser", "150.0.0.1", "chromium");
  EXPECT_EQ(bed.version(), "150.0.0.1");
  bed.installBrowser("/opt/microsoft/msedge", "151.0.0.1", "msedge");
  EXPECT_EQ(bed.version(), "151.0.0.1");
  bed.installBrowser("/opt/google/chrome", "152.0.0.1");
  EXPECT_EQ(bed.version(), "152.0.0.1");
}

TEST_F(RuntimeLocatorTest, EdgeViewModeMeansEdgeItselfInTheStableSlot) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.environment.variables["WEBVIEW2_USE_EDGE_VIEW"] = "1";
  bed.environment.variables["TAVRELLE_LOCATOR_TRACE"] = "1";
  EXPECT_EQ(bed.create(), kFileNotFound);
  EXPECT_TRUE(bed.events.empty());
  bed.installBrowser("/opt/microsoft/msedge", "140.0.1.1", "msedge");
  EXPECT_EQ(bed.create(), kOk);
  ASSERT_EQ(bed.client.requests.size(), 1u);
  EXPECT_EQ(bed.client.requests[0].kind, RuntimeKind::EdgeView);
  EXPECT_EQ(bed.client.requests[0].clientPath, "/opt/microsoft/msedge/msedge");
  bed.environment.variables["WEBVIEW2_USE_EDGE_VIEW"] = "true";  // only "1" counts
  EXPECT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests.back().kind, RuntimeKind::Installed);
}

// ----- Versions -----

TEST_F(RuntimeLocatorTest, IncompatibleVersionsAreSkippedAndTheSearchGoesOn) {
  bed.installBrowser("/opt/google/chrome", "86.0.615.99");
  bed.installBrowser("/usr/lib/chromium", "86.0.616.0", "chromium");
  EXPECT_EQ(bed.version(), "86.0.616.0");
  EXPECT_EQ(bed.debug, "WebView2: skipped an incompatible version /opt/google/chrome\n");
  bed.debug.clear();
  bed.processes.answers["/usr/lib/chromium/chromium"] = "110";
  bed.restart();
  std::filesystem::last_write_time(bed.real("/usr/lib/chromium/chromium"),
                                   std::filesystem::file_time_type::clock::now());
  EXPECT_EQ(bed.version(), "110");
}

TEST_F(RuntimeLocatorTest, VersionedFolderNamesNeedNoQuestion) {
  bed.installBrowser("/srv/runtimes/110", "1.0.0.0");
  EXPECT_EQ(bed.version(std::string("/srv/runtimes/110")), "110");
  bed.installBrowser("/srv/runtimes/fixed", "121.0.1.0");
  EXPECT_EQ(bed.version(std::string("/srv/runtimes/fixed")), "121.0.1.0");
  EXPECT_EQ(bed.processes.runs, std::vector<std::string>{"/srv/runtimes/fixed/chrome"});
}

TEST_F(RuntimeLocatorTest, ReportedVersionsAreRememberedAcrossStarts) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.environment.variables["XDG_CACHE_HOME"] = "/home/p/.cache";
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.processes.runs.size(), 1u);
  EXPECT_EQ(bed.files.kindOf("/home/p/.cache/tavrelle/browser-versions.json"), FileKind::Regular);

  bed.restart();
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.processes.runs.size(), 1u) << "a normal start does not run the browser";

  // An update changes the executable: asked again.
  bed.processes.answers["/usr/lib/chromium/chromium"] = "157.0.0.1";
  bed.writeFile("/usr/lib/chromium/chromium", "#!/bin/sh\n# updated\n");
  bed.restart();
  EXPECT_EQ(bed.version(), "157.0.0.1");
  EXPECT_EQ(bed.processes.runs.size(), 2u);
}

TEST_F(RuntimeLocatorTest, ElevatedProcessKeepsVersionsInTheMachineCacheOnly) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.environment.variables["XDG_CACHE_HOME"] = "/home/p/.cache";
  bed.elevated = true;
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.elevationQuestions, 1);
  bed.restart();
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.processes.runs.size(), 1u);
  EXPECT_EQ(bed.files.kindOf("/home/p/.cache/tavrelle"), FileKind::Missing);
  EXPECT_EQ(bed.files.kindOf("/var/cache/tavrelle/browser-versions.json"), FileKind::Regular);
}

TEST_F(RuntimeLocatorTest, ABrowserThatGivesNoVersionIsNoRuntime) {
  bed.installBrowser("/opt/google/chrome", "not a version");
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  bed.installBrowser("/srv/fixed", "garbage");
  EXPECT_EQ(bed.version(std::string("/srv/fixed")), std::nullopt);
  EXPECT_EQ(bed.lastResult, kNotSupported);
}

// ----- Folders -----

TEST_F(RuntimeLocatorTest, RelativeFoldersAreBesideTheExecutable) {
  bed.installBrowser("/games/quest/webview2", "130.0.0.1", "chromium");
  EXPECT_EQ(bed.create(std::string("webview2")), kOk);
  ASSERT_EQ(bed.client.loads.size(), 1u);
  EXPECT_EQ(bed.client.loads[0], "/games/quest/webview2/chromium");
  EXPECT_EQ(bed.client.requests[0].kind, RuntimeKind::Folder);
  EXPECT_EQ(bed.client.requests[0].version, "130.0.0.1");
  EXPECT_EQ(bed.client.requests[0].userDataFolder, "/home/p/.local/share/quest");

  bed.installBrowser("/srv/edge", "131.0.0.1", "msedge");
  EXPECT_EQ(bed.create(std::string("/srv/edge")), kOk);
  EXPECT_EQ(bed.client.loads.back(), "/srv/edge/msedge");
}

TEST_F(RuntimeLocatorTest, ExecutableNamesAreTriedInOrder) {
  bed.installBrowser("/srv/r", "130.0.0.1", "msedge");
  bed.installBrowser("/srv/r", "130.0.0.1", "chromium");
  EXPECT_EQ(bed.create(std::string("/srv/r")), kOk);
  EXPECT_EQ(bed.client.loads.back(), "/srv/r/chromium");
  bed.installBrowser("/srv/r", "130.0.0.1", "chrome");
  EXPECT_EQ(bed.create(std::string("/srv/r")), kOk);
  EXPECT_EQ(bed.client.loads.back(), "/srv/r/chrome");
}

TEST_F(RuntimeLocatorTest, AGivenFolderNeverFallsBackToAnInstall) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.makeFolder("/games/quest/webview2");
  EXPECT_EQ(bed.version(std::string("webview2")), std::nullopt);
  EXPECT_EQ(bed.lastResult, kFileNotFound);
  const std::string line =
      "WebView2: Failed to find the WebView2 client dll at: /games/quest/webview2/chrome\n";
  EXPECT_EQ(bed.debug, line + line);
}

TEST_F(RuntimeLocatorTest, EmptyFolderMeansTheChannelSearch) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  EXPECT_EQ(bed.version(std::string("")), "156.0.8078.129");
}

// ----- Overrides and policies -----

TEST_F(RuntimeLocatorTest, BrowserFolderOverrideReplacesTheCallersFolder) {
  bed.installBrowser("/srv/dev-build", "160.0.0.1");
  bed.environment.variables["WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"] = "/srv/dev-build";
  EXPECT_EQ(bed.version(std::string("webview2")), "160.0.0.1");
  EXPECT_EQ(bed.version(), "160.0.0.1");
}

TEST_F(RuntimeLocatorTest, MachinePolicyByExecutableNameThenUserPolicyByWildcard) {
  bed.installBrowser("/srv/machine", "140.0.0.1");
  bed.installBrowser("/srv/user", "141.0.0.1");
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.environment.variables["HOME"] = "/home/p";
  bed.writeFile("/home/p/.config/tavrelle/policies/BrowserExecutableFolder.json",
                R"({"*": "/srv/user"})");
  EXPECT_EQ(bed.version(), "141.0.0.1");
  bed.writeFile("/etc/tavrelle/policies/BrowserExecutableFolder.json",
                R"({"other-game": "/nowhere", "tavrelle": "/srv/machine"})");
  EXPECT_EQ(bed.version(), "140.0.0.1");
  // The environment wins over both.
  bed.environment.variables["WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"] = "/usr/lib/chromium";
  EXPECT_EQ(bed.version(), "156.0.8078.129");
}

TEST_F(RuntimeLocatorTest, XdgConfigHomeHoldsTheUserPolicies) {
  installStableAndBeta();
  bed.environment.variables["HOME"] = "/home/p";
  bed.environment.variables["XDG_CONFIG_HOME"] = "/home/p/conf";
  bed.writeFile("/home/p/conf/tavrelle/policies/ReleaseChannels.json", R"({"tavrelle": "1"})");
  EXPECT_EQ(bed.version(), "157.0.1.2 beta");
}

TEST_F(RuntimeLocatorTest, BrokenOrMistypedPoliciesAreMissingKeys) {
  installStableAndBeta();
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"tavrelle": 1})");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"(["tavrelle", "1"])");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"tavrelle": "1")");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.lastResult, kOk);
  // A flag may be a number or a text.
  bed.writeFile("/etc/tavrelle/policies/ChannelSearchKind.json", R"({"*": 1})");
  EXPECT_EQ(bed.version(), "157.0.1.2 beta");
  bed.writeFile("/etc/tavrelle/policies/ChannelSearchKind.json", R"({"*": "1"})");
  EXPECT_EQ(bed.version(), "157.0.1.2 beta");
  bed.writeFile("/etc/tavrelle/policies/ChannelSearchKind.json", R"({"*": true})");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
}

TEST_F(RuntimeLocatorTest, UserDataFolderPolicyTakesNoWildcard) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.writeFile("/etc/tavrelle/policies/UserDataFolder.json", R"({"*": "/var/shared"})");
  EXPECT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests.back().userDataFolder, "/home/p/.local/share/quest");
  bed.writeFile("/etc/tavrelle/policies/UserDataFolder.json", R"({"tavrelle": "/var/quest"})");
  EXPECT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests.back().userDataFolder, "/var/quest");
  bed.environment.variables["WEBVIEW2_USER_DATA_FOLDER"] = "/tmp/profile";
  EXPECT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests.back().userDataFolder, "/tmp/profile");
}

TEST_F(RuntimeLocatorTest, ElevatedProcessIgnoresVariablesAndUserPolicies) {
  installStableAndBeta();
  bed.elevated = true;
  bed.environment.variables["HOME"] = "/home/p";
  bed.environment.variables["WEBVIEW2_RELEASE_CHANNELS"] = "1";
  bed.environment.variables["WEBVIEW2_BROWSER_EXECUTABLE_FOLDER"] = "/opt/google/chrome-beta";
  bed.environment.variables["WEBVIEW2_USE_EDGE_VIEW"] = "1";
  bed.writeFile("/home/p/.config/tavrelle/policies/ChannelSearchKind.json", R"({"*": 1})");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"*": "1"})");
  EXPECT_EQ(bed.version(), "157.0.1.2 beta") << "machine policies still apply";
}

webview::EnvironmentOptions EdgeViewOptions() {
  webview::EnvironmentOptions options;
  options.useEdgeView = true;
  return options;
}

TEST_F(RuntimeLocatorTest, WildcardChannelPolicyDoesNotApplyInEdgeViewMode) {
  bed.installBrowser("/opt/microsoft/msedge", "140.0.1.1", "msedge");
  bed.installBrowser("/opt/microsoft/msedge-beta", "141.0.1.1", "msedge");
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"*": "1"})");
  EXPECT_EQ(bed.create(std::nullopt, EdgeViewOptions()), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/opt/microsoft/msedge/msedge");
  bed.writeFile("/etc/tavrelle/policies/ReleaseChannels.json", R"({"tavrelle": "1"})");
  EXPECT_EQ(bed.create(std::nullopt, EdgeViewOptions()), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/opt/microsoft/msedge-beta/msedge");
}

TEST_F(RuntimeLocatorTest, OptionsChooseChannelsOnlyWhereNothingElseDid) {
  installStableAndBeta();
  webview::EnvironmentOptions options;
  options.releaseChannels = 0x2;
  EXPECT_EQ(bed.create(std::nullopt, options), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/opt/google/chrome-beta/chrome");
  bed.environment.variables["WEBVIEW2_RELEASE_CHANNELS"] = "0";
  EXPECT_EQ(bed.create(std::nullopt, options), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/usr/lib/chromium/chromium");
  options.releaseChannels = 0;
  options.channelSearchKind = 1;
  bed.environment.variables["WEBVIEW2_RELEASE_CHANNELS"] = "0,1";
  EXPECT_EQ(bed.create(std::nullopt, options), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/opt/google/chrome-beta/chrome");
}

TEST_F(RuntimeLocatorTest, PolicyRootMissingStopsLaterPolicyReadsUntilTheNextForcedCheck) {
  installStableAndBeta();
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  // The root appears between calls: the forced browser-folder read checks again.
  bed.writeFile("/etc/tavrelle/policies/ChannelSearchKind.json", R"({"*": 1})");
  EXPECT_EQ(bed.version(), "157.0.1.2 beta");
}

// ----- The exact-version policy -----

class DowngradeVersionTest : public RuntimeLocatorTest {
 protected:
  void SetUp() override {
    bed.installBrowser("/opt/google/chrome", "131.0.6778.85");
    bed.installBrowser("/opt/google/120.0.6099.71", "9.9.9.9");
    bed.environment.variables["TAVRELLE_LOCATOR_TRACE"] = "1";
  }
  void pin(const std::string& version) {
    bed.writeFile("/etc/tavrelle/policies/DowngradeVersion.json",
                  nlohmann::json{{"tavrelle", version}}.dump());
  }
  nlohmann::json lastEvent() const { return nlohmann::json::parse(bed.events.back()); }
};

TEST_F(DowngradeVersionTest, PinnedVersionFolderBesideTheStableInstallIsUsed) {
  pin("120.0.6099.71");
  EXPECT_EQ(bed.version(), "120.0.6099.71");
  EXPECT_EQ(bed.debug,
            "WebView2: DowngradeVersion policy applied (exact match), redirecting to "
            "/opt/google/120.0.6099.71\nWebView2: DowngradeVersion policy resolved\n");
  EXPECT_EQ(bed.events.front(),
            R"x({"Applied":true,"Detail":"/opt/google/120.0.6099.71","Message":"Policy applied )x"
            R"x((exact)","PartA_PrivTags":16777216,"event":"DowngradeVersionPolicy",)x"
            R"x("keyword":70368744177664,"level":4,"provider":"Microsoft.MSEdgeWebView.Loader"})x");
  EXPECT_EQ(bed.create(std::string("webview2")), kOk);
  EXPECT_EQ(bed.client.requests.back().clientPath, "/opt/google/120.0.6099.71/chrome");
}

TEST_F(DowngradeVersionTest, OutcomesThatDoNotApplyLeaveTheNormalSearch) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"120.0.6099", "Invalid version format"},
      {"", "Version value is empty"},
      {"121.0.0.1", "Exact version folder not found"},
  };
  for (const auto& [version, message] : cases) {
    pin(version);
    bed.events.clear();
    EXPECT_EQ(bed.version(), "131.0.6778.85") << version;
    ASSERT_EQ(bed.events.size(), 1u) << version;
    EXPECT_EQ(lastEvent()["Message"], message);
    EXPECT_EQ(lastEvent()["Applied"], false);
    EXPECT_EQ(lastEvent()["level"], 3);
  }
  EXPECT_EQ(lastEvent()["Detail"], "121.0.0.1");
  bed.writeFile("/etc/tavrelle/policies/DowngradeVersion.json", R"({"other": "120.0.6099.71"})");
  EXPECT_EQ(bed.version(), "131.0.6778.85");
  EXPECT_EQ(lastEvent()["Message"], "No version mapping found");
  bed.writeFile("/opt/google/122.0.0.1", "not a folder");
  pin("122.0.0.1");
  EXPECT_EQ(bed.version(), "131.0.6778.85");
  EXPECT_EQ(lastEvent()["Message"], "Exact version path is not a directory");
  bed.makeFolder("/opt/google/123.0.0.1");
  pin("123.0.0.1");
  EXPECT_EQ(bed.version(), "131.0.6778.85");
  EXPECT_EQ(lastEvent()["Message"], "Exact version folder holds no browser");
  EXPECT_EQ(bed.debug, "");
}

TEST_F(DowngradeVersionTest, WithoutAStableInstallOrPolicyNothingIsPinned) {
  std::filesystem::remove_all(bed.real("/opt/google/chrome"));
  bed.installBrowser("/opt/google/chrome-beta", "140.0.0.1");
  pin("120.0.6099.71");
  EXPECT_EQ(bed.version(), "140.0.0.1 beta");
  EXPECT_EQ(lastEvent()["Message"], "ClientState key not found");
  std::filesystem::remove(bed.real("/etc/tavrelle/policies/DowngradeVersion.json"));
  bed.events.clear();
  EXPECT_EQ(bed.version(), "140.0.0.1 beta");
  EXPECT_TRUE(bed.events.empty()) << "a missing policy is silent";
}

TEST_F(DowngradeVersionTest, OverlongExactPathIsRefused) {
  pin("1" + std::string(250, '0') + ".0.0.0");
  EXPECT_EQ(bed.version(), "131.0.6778.85");
  EXPECT_EQ(lastEvent()["Message"], "Exact path would exceed MAX_PATH");
}

TEST_F(DowngradeVersionTest, UserPoliciesCannotPin) {
  bed.environment.variables["HOME"] = "/home/p";
  bed.writeFile("/home/p/.config/tavrelle/policies/DowngradeVersion.json",
                R"({"tavrelle": "120.0.6099.71"})");
  EXPECT_EQ(bed.version(), "131.0.6778.85");
  EXPECT_TRUE(bed.events.empty());
}

// ----- Failures and their diagnostics -----

TEST_F(RuntimeLocatorTest, MissingHandlerOrOutPointer) {
  EXPECT_EQ(bed.locator().CreateCoreWebView2EnvironmentWithOptions(std::nullopt, std::nullopt,
                                                                   std::nullopt, nullptr),
            kPointerMissing);
  EXPECT_EQ(bed.locator().GetAvailableCoreWebView2BrowserVersionString(std::nullopt, nullptr),
            kPointerMissing);
  EXPECT_EQ(bed.debug, "");
}

TEST_F(RuntimeLocatorTest, UnreadableExecutablePathFailsRelativeFolders) {
  bed.environment.exePath = HResultFromError(kErrorAccessDenied);
  EXPECT_EQ(bed.version(std::string("webview2")), std::nullopt);
  EXPECT_EQ(bed.lastResult, HResultFromError(kErrorAccessDenied));
  EXPECT_EQ(bed.debug,
            "WebView2: Failed to find the app exe path.\nWebView2: Failed to find the app exe "
            "path.\n");
  bed.environment.exePath = std::string("tavrelle");
  EXPECT_EQ(bed.version(std::string("webview2")), std::nullopt);
  EXPECT_EQ(bed.lastResult, kFailed);
}

TEST_F(RuntimeLocatorTest, InaccessibleExecutablesAreSkipped) {
  bed.installBrowser("/opt/google/chrome");
  std::filesystem::permissions(bed.real("/opt/google/chrome/chrome"),
                               std::filesystem::perms::owner_read);
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  EXPECT_EQ(bed.version(), "156.0.8078.129");
  EXPECT_EQ(bed.debug, "WebView2: skipped inaccessible /opt/google/chrome/chrome\n");
  bed.debug.clear();
  bed.makeFolder("/srv/r/chrome");  // a folder where the executable should be
  bed.installBrowser("/srv/r", "1.0.0.0", "chromium");
  EXPECT_EQ(bed.version(std::string("/srv/r")), std::nullopt);
  EXPECT_EQ(bed.debug.substr(0, bed.debug.size() / 2),
            "WebView2: skipped inaccessible /srv/r/chrome\n"
            "WebView2: Failed to find the WebView2 client dll at: /srv/r/chrome\n");
}

TEST_F(RuntimeLocatorTest, ClientThatDoesNotLoadFailsWithItsCode) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.client.loadResult = kModuleNotFound;
  EXPECT_EQ(bed.create(), kModuleNotFound);
  const std::string line =
      "WebView2: CoreWebView2Environment failed when trying to LoadLibrary: hr=0x8007007E "
      "path=/usr/lib/chromium/chromium\nWebView2: This error (0x8007007E) typically indicates "
      "missing binaries or an architecture mismatch.\n";
  EXPECT_EQ(bed.debug, line + line);
  bed.debug.clear();
  bed.client.loadResult = HResultFromError(kErrorAccessDenied);
  EXPECT_EQ(bed.create(), HResultFromError(kErrorAccessDenied));
  EXPECT_EQ(bed.debug.substr(0, bed.debug.size() / 2),
            "WebView2: CoreWebView2Environment failed when trying to LoadLibrary: hr=0x80070005 "
            "path=/usr/lib/chromium/chromium\n");
  EXPECT_TRUE(bed.client.requests.empty());
}

TEST_F(RuntimeLocatorTest, ClientWithoutCreationFails) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.client.offersCreation = false;
  EXPECT_EQ(bed.create(), HResultFromError(kErrorProcNotFound));
  EXPECT_EQ(bed.debug.substr(0, bed.debug.size() / 2),
            "WebView2: CoreWebView2Environment failed when trying to call into chromium. "
            "hr=0x8007007F\n");
}

TEST_F(RuntimeLocatorTest, FailedCreationIsTriedTwiceAndReportedToTelemetry) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  bed.client.createResults = {kFailed, kFailed};
  EXPECT_EQ(bed.create(), kFailed);
  EXPECT_EQ(bed.client.requests.size(), 2u);
  EXPECT_TRUE(bed.events.empty()) << "telemetry only when asked for";
  bed.environment.variables["TAVRELLE_LOCATOR_TRACE"] = "1";
  bed.client.createResults = {kFailed};
  EXPECT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests.size(), 4u);
  ASSERT_EQ(bed.events.size(), 1u);
  EXPECT_EQ(bed.events[0],
            R"({"ClientDllFound":true,"HRESULT":-2147467259,"InstalledRuntime":true,)"
            R"("PartA_PrivTags":16777216,"event":"CreateWebViewEnvironmentError",)"
            R"("keyword":70368744177664,"level":2,"provider":"Microsoft.MSEdgeWebView.Loader"})");
  bed.events.clear();
  EXPECT_EQ(bed.create(std::string("/nowhere")), kFileNotFound);
  ASSERT_EQ(bed.events.size(), 2u);
  EXPECT_EQ(nlohmann::json::parse(bed.events[0])["ClientDllFound"], false);
  EXPECT_EQ(nlohmann::json::parse(bed.events[0])["InstalledRuntime"], false);
}

TEST_F(RuntimeLocatorTest, FailureReportedLaterIsTriedOnceMore) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  ASSERT_EQ(bed.create(), kOk);
  ASSERT_EQ(bed.client.handlers.size(), 1u);
  bed.client.handlers[0](webview::CreationResult{false, "browser died"}, nullptr);
  EXPECT_TRUE(bed.delivered.empty()) << "the retry is under way";
  ASSERT_EQ(bed.client.handlers.size(), 2u);
  bed.client.handlers[1](webview::CreationResult{false, "died again"}, nullptr);
  ASSERT_EQ(bed.delivered.size(), 1u);
  EXPECT_FALSE(bed.delivered[0].succeeded);
  EXPECT_EQ(bed.delivered[0].error, "died again");
  EXPECT_EQ(bed.client.handlers.size(), 2u);
}

TEST_F(RuntimeLocatorTest, RetryThatCannotStartReportsItsOwnFailure) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  ASSERT_EQ(bed.create(), kOk);
  std::filesystem::remove_all(bed.real("/usr/lib/chromium"));
  bed.client.handlers[0](webview::CreationResult{false, "browser died"}, nullptr);
  ASSERT_EQ(bed.delivered.size(), 1u);
  EXPECT_EQ(bed.delivered[0].error, CreationFailureText(kFileNotFound));
}

TEST_F(RuntimeLocatorTest, SuccessReachesTheCallerWithTheEnvironment) {
  bed.installBrowser("/usr/lib/chromium", "156.0.8078.129", "chromium");
  ASSERT_EQ(bed.create(), kOk);
  EXPECT_EQ(bed.client.requests[0].kind, RuntimeKind::Installed);
  EXPECT_EQ(bed.client.requests[0].version, "156.0.8078.129");
  bed.client.handlers[0](webview::CreationResult{true, {}}, nullptr);
  ASSERT_EQ(bed.delivered.size(), 1u);
  EXPECT_TRUE(bed.delivered[0].succeeded);
}

TEST_F(RuntimeLocatorTest, HostCallThatFailsAtOnceStillHearsThroughTheLoop) {
  std::optional<webview::CreationResult> heard;
  bed.locator().CreateEnvironmentWithOptions(
      std::nullopt, "/tmp/profile", {},
      [&](const webview::CreationResult& result, auto) { heard = result; });
  EXPECT_FALSE(heard);
  ASSERT_EQ(bed.posted.size(), 1u);
  bed.posted[0]();
  ASSERT_TRUE(heard);
  EXPECT_FALSE(heard->succeeded);
  EXPECT_EQ(heard->error, "no usable browser was found (0x80070002)");
}

}  // namespace
}  // namespace tavrelle::runtime
