#include "app/Startup.h"

#include <gtest/gtest.h>

#include "app/CurrentWebViewHost.h"
#include "common/Dpi.h"
#include "extensions/ExtensionManager.h"
#include "support/BundleBuilder.h"
#include "support/FakeStartupPorts.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::BundleBuilder;
using test::FakeStartupPorts;
using Files = std::map<std::string, std::string>;

constexpr const char* kMinimalPackage = R"({"name":"game"})";
constexpr const char* kLoadFailed =
    "Failed to load package.json. Check the file is in the same folder as the app.";
constexpr const char* kParseFailed =
    "Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    "correct.";
constexpr const char* kBundleFailed = "Error reading asset bundle";

int RunStartup(FakeStartupPorts& fake) { return Startup(fake.ports()).run(); }

void Fill(FakeStartupPorts& fake, const Files& files, const Files& resources) {
  for (const auto& [path, content] : files) fake.addFile(path, content);
  for (const auto& [name, content] : resources) fake.addResource(name, content);
}

// Runs start-up, which must show one box with the text and end with 1 before it asks for
// a web view.
void ExpectStartupFails(FakeStartupPorts& fake, const std::string& text,
                        const std::string& caption = "Tavrelle",
                        MessageBoxIcon icon = MessageBoxIcon::Error) {
  EXPECT_EQ(RunStartup(fake), 1);
  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].text, text);
  EXPECT_EQ(fake.messageBoxes[0].caption, caption);
  EXPECT_EQ(fake.messageBoxes[0].icon, icon);
  EXPECT_EQ(fake.runtime.environmentRequests, 0);
}

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDpiCacheForTesting(); }
  void TearDown() override {
    ResetDpiCacheForTesting();
    SetScreenDpiSource(nullptr);
  }
  int run(const std::string& packageJson) {
    fake.addFile("package.json", packageJson);
    return RunStartup(fake);
  }
  // Runs start-up with the package text and returns what probe saw while the loop ran.
  template <typename Probe>
  auto seenWhileRunning(const std::string& packageJson, Probe probe) {
    decltype(probe()) seen{};
    fake.loop.whileRunning = [&] { seen = probe(); };
    run(packageJson);
    return seen;
  }

  FakeStartupPorts fake;
};

TEST_F(StartupTest, PackedConfigurationWinsAndTheFileIsNeverRead) {
  fake.addResource("PackageJson", R"({"name":"packed","bundle":{"type":"none"}})");
  fake.addFile("package.json", R"({"name":"loose"})");
  EXPECT_EQ(RunStartup(fake), test::FakeEventLoop::kNeverQuit);
  EXPECT_TRUE(fake.filesRead.empty());
  EXPECT_EQ(fake.runtime.userDataFolder, "/home/player/.local/share/packed");
  EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(StartupTest, LooseEvergreenBuildReadsTheAppFolderAndPassesNoRuntimeFolder) {
  run(kMinimalPackage);
  EXPECT_EQ(fake.filesRead, std::vector<std::string>{"/opt/game/package.json"});
  EXPECT_EQ(fake.runtime.userDataFolder, "/home/player/.local/share/game");
  EXPECT_EQ(fake.runtime.environmentRequests, 1);
  EXPECT_FALSE(fake.runtime.browserExecutableFolder.has_value());
}

TEST(StartupFailures, BrokenConfigurationOrBundleShowsItsMessage) {
  struct Case {
    std::string text;
    Files files, resources = {};
    std::vector<std::string> mapped = {};
  };
  const std::string notBundled =
      "This app was exported for bundling in to a single file, but it has not been bundled yet. "
      "Run 'fusepack' first to bundle this app.";
  const std::string visual = R"({"name":"game","settings":{"hosting-mode":"Visual"}})";
  const std::string singleFile = R"({"name":"game","bundle":{"type":"single-file"}})";
  const std::string bundle = R"({"name":"game","bundle":{"type":"asset-bundle"}})";
  const std::string bundleAt =
      R"({"name":"game","bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})";
  const std::vector<Case> cases = {
      {kLoadFailed, {}},
      {kLoadFailed, {{"package.json", ""}}},
      {kParseFailed, {{"package.json", R"({"name":"game",})"}}},
      {kParseFailed, {{"package.json", visual}}},
      {notBundled, {{"package.json", singleFile}}},
      {kBundleFailed, {{"package.json", bundle}}, {}, {"/opt/game/"}},  // the app folder itself
      {kBundleFailed, {{"package.json", bundleAt}, {"a.zxab", "broken"}}, {}, {"/opt/game/a.zxab"}},
      {kBundleFailed, {}, {{"PackageJson", bundle}}},  // no bundle resource
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    FakeStartupPorts fake;
    Fill(fake, cases[i].files, cases[i].resources);
    fake.folders.insert("/opt/game/");
    ExpectStartupFails(fake, cases[i].text);
    EXPECT_EQ(fake.filesMapped, cases[i].mapped);
    EXPECT_FALSE(fake.log->contains("windowSystem.connect"));
  }
}

TEST(StartupFailures, NoDisplayOrNoWindowShowsItsMessage) {
  for (bool noDisplay : {true, false}) {
    FakeStartupPorts fake;
    fake.addFile("package.json", kMinimalPackage);
    fake.failConnect = noDisplay;
    fake.windowSystem.failCreate = !noDisplay;
    ExpectStartupFails(fake, noDisplay ? "No X display could be opened. Start the app from a "
                                         "desktop session, or set DISPLAY to a running X server "
                                         "(for example DISPLAY=:0)."
                                       : "Failed to create window");
  }
}

TEST_F(StartupTest, RemoteModeAcceptsTheStartAddressAsOrigin) {
  auto origin = seenWhileRunning(R"({"name":"game","main":"https://example.com/game/",)"
                                 R"("settings":{"content-mode":"remote"}})",
                                 [] { return CurrentWebViewHost()->contentOrigin(); });
  EXPECT_EQ(origin, "https://example.com/game/");
}

TEST(StartupIcon, ComesFromTheOpenBundleOrElseTheWebRoot) {
  const std::string inBundle = R"({"name":"game","window":{"icon":"img\\icon.png"},)"
                               R"("bundle":{"type":"asset-bundle","assets-path":"data/a.zxab"}})";
  const std::string notInBundle = R"({"name":"game","window":{"icon":"icon.png"},)"
                                  R"("bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})";
  const std::string iconBundle = BundleBuilder().addFile("img/icon.png", "PNG-in-bundle").build();
  const std::string pageBundle = BundleBuilder().addFile("index.html", "<p>").build();
  struct Case {
    int iconWidth;  // -1: none; the fake decoder's width is the byte count
    Files files;
  };
  const std::vector<Case> cases = {
      // A missing bundle file is no error.
      {12, {{"package.json", notInBundle}, {"www/icon.png", "PNG-from-www"}}},
      {13, {{"package.json", inBundle}, {"data/a.zxab", iconBundle}}},
      // An open bundle without the icon: the web root is not asked.
      {-1, {{"package.json", notInBundle}, {"a.zxab", pageBundle}, {"www/icon.png", "PNG"}}},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    FakeStartupPorts fake;
    Fill(fake, cases[i].files, {});
    std::optional<std::optional<Image>> icon;
    fake.loop.whileRunning = [&] { icon = fake.window()->params.icon; };
    RunStartup(fake);
    EXPECT_TRUE(fake.messageBoxes.empty());
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->has_value() ? (*icon)->width : -1, cases[i].iconWidth);
  }
}

TEST_F(StartupTest, EvergreenWithoutRuntimeWarnsThenOpensTheDownloadPage) {
  fake.runtime.installedVersion.reset();
  fake.addFile("package.json", R"({"name":"game","window":{"title":"My Game"},)"
                               R"("messages":{"install-webview2-required":"Get a browser."}})");
  ExpectStartupFails(fake, "Get a browser.", "My Game", MessageBoxIcon::Warning);
  EXPECT_EQ(fake.shellOpened, std::vector<std::string>{
                                  "https://www.chromium.org/getting-involved/download-chromium/"});
  EXPECT_LT(fake.log->indexOf("messageBox"), fake.log->indexOf("shellOpen"));
  EXPECT_FALSE(fake.log->contains("windowSystem.connect"));
}

TEST_F(StartupTest, FixedWithoutRuntimeAsksAboutTheFolderAndOpensNothing) {
  fake.runtime.fixedVersion.reset();
  fake.addFile("package.json", R"({"name":"game","settings":{"distribution-mode":"fixed"}})");
  ExpectStartupFails(
      fake,
      "This app is set to \"fixed\" distribution mode, but the Chromium web view failed to "
      "initialize. Check there is a valid fixed distribution of a Chromium-family browser in the "
      "\"webview2\" subfolder.");
  EXPECT_TRUE(fake.shellOpened.empty());
  EXPECT_EQ(fake.runtime.versionQueries,
            std::vector<std::optional<std::string>>{std::string("webview2")});
}

TEST_F(StartupTest, FixedRuntimeFolderIsHandedOnUnjoined) {
  run(R"({"name":"game","settings":{"distribution-mode":"fixed"}})");
  EXPECT_EQ(fake.runtime.browserExecutableFolder, std::optional<std::string>("webview2"));
}

TEST(StartupFolders, ExtensionsLiveInTheAppFolderOrUnderTheAppDataFolderWhenPacked) {
  for (bool packed : {false, true}) {
    FakeStartupPorts fake;
    packed ? fake.addResource("PackageJson", kMinimalPackage)
           : fake.addFile("package.json", kMinimalPackage);
    ExtensionFolders seen;
    fake.loop.whileRunning = [&] { seen = CurrentWebViewHost()->extensionManager()->folders(); };
    RunStartup(fake);
    EXPECT_EQ(seen.appDataFolder, "/home/player/.local/share/game");
    EXPECT_EQ(seen.extensionFolder,
              packed ? "/home/player/.local/share/game/zxext/" : "/opt/game/");
  }
}

TEST_F(StartupTest, WindowIsCreatedHiddenScaledAndFramedWithTitleAndBackground) {
  fake.windowSystem.dpi = 120;
  auto params = seenWhileRunning(R"({"name":"game","window":{"title":"Über Game",)"
                                 R"("width":801,"height":600,"background-color":[1,2,3]}})",
                                 [&] { return fake.window()->params; });
  EXPECT_EQ(params.outerWidth, 1002 + 16);  // the fake frame adds 16 x 39
  EXPECT_EQ(params.outerHeight, 750 + 39);
  EXPECT_EQ(params.title, "Über Game");
  EXPECT_EQ(params.background, (Rgb{1, 2, 3}));
  EXPECT_LT(fake.log->indexOf("windowSystem.createMainWindow"),
            fake.log->indexOf("runtime.CreateEnvironment"));
  EXPECT_FALSE(fake.log->contains("window.show"));
}

TEST(StartupWindow, StyleFollowsCaptionAndResizable) {
  const std::vector<std::pair<const char*, uint32_t>> cases = {
      {R"({"caption":true,"resizable":true})", 0x00CF0000},
      {R"({"caption":true,"resizable":false})", 0x00CA0000},
      {R"({"caption":false,"resizable":true})", 0},
      {R"({})", 0x00CF0000}};
  for (const auto& [window, style] : cases) {
    AppConfig config;
    ParsePackageJson(std::string(R"({"name":"game","window":)") + window + "}", config);
    EXPECT_EQ(WindowStyleFor(config), style) << window;
  }
}

TEST_F(StartupTest, ClosingEndsWithZeroAfterAnOrderlyShutdown) {
  fake.addFile("a.zxab", BundleBuilder().addFile("index.html", "<p>").build());
  bool bundleMappedDuringRun = false, bundleUnmappedFirst = false, hostClearedFirst = false;
  fake.loop.whileRunning = [&] {
    fake.runtime.completeCreation();
    fake.runtime.webView()->fireDOMContentLoaded();
    bundleMappedDuringRun = !fake.lastMapping.expired();
    fake.runtime.webView()->onDestroyed = [&] {
      bundleUnmappedFirst = fake.lastMapping.expired();
      hostClearedFirst = CurrentWebViewHost() == nullptr;
    };
    fake.window()->deliver({.kind = WindowEvent::Kind::Destroy});
  };
  EXPECT_EQ(run(R"({"name":"game","bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})"), 0);
  EXPECT_TRUE(fake.messageBoxes.empty());
  EXPECT_TRUE(bundleMappedDuringRun);
  EXPECT_TRUE(bundleUnmappedFirst);
  EXPECT_TRUE(hostClearedFirst);
  // Web view, controller, environment, then the window.
  const auto& log = *fake.log;
  EXPECT_LT(log.indexOf("webView.destroyed"), log.indexOf("controller.destroyed"));
  EXPECT_LT(log.indexOf("controller.destroyed"), log.indexOf("environment.destroyed"));
  EXPECT_LT(log.indexOf("webView.destroyed"), log.indexOf("window.destroyed"));
}

}  // namespace
}  // namespace tavrelle
