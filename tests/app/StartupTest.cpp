#include "app/Startup.h"

#include <gtest/gtest.h>

#include "app/CurrentWebViewHost.h"
#include "app/Dpi.h"
#include "extensions/ExtensionManager.h"
#include "support/BundleBuilder.h"
#include "support/FakeStartupPorts.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::BundleBuilder;
using test::FakeStartupPorts;

constexpr const char* kMinimalPackage = R"({"name":"game"})";
constexpr const char* kLoadFailed =
    "Failed to load package.json. Check the file is in the same folder as the app.";
constexpr const char* kParseFailed =
    "Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    "correct.";
constexpr const char* kBundleFailed = "Error reading asset bundle";

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetDpiCacheForTesting(); }
  void TearDown() override {
    ResetDpiCacheForTesting();
    SetScreenDpiSource(nullptr);
  }

  int run() {
    Startup startup(fake.ports());
    return startup.run();
  }

  // The page loads and the user closes the window.
  void whileRunningLoadAndClose() {
    fake.loop.whileRunning = [this] {
      fake.runtime.completeCreation();
      fake.runtime.webView()->fireDOMContentLoaded();
      fake.window()->deliver({.kind = WindowEvent::Kind::Destroy});
    };
  }

  // The one message box shown, expected with the default caption and the error icon.
  void expectOnlyFailure(const std::string& text) {
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].text, text);
    EXPECT_EQ(fake.messageBoxes[0].caption, "Tavrelle");
    EXPECT_EQ(fake.messageBoxes[0].icon, MessageBoxIcon::Error);
  }

  FakeStartupPorts fake;
};

// ----- Where the configuration comes from -----

TEST_F(StartupTest, PackedConfigurationWinsAndTheFileIsNeverRead) {
  fake.addResource("PackageJson", R"({"name":"packed","bundle":{"type":"none"}})");
  fake.addFile("package.json", R"({"name":"loose"})");

  EXPECT_EQ(run(), test::FakeEventLoop::kNeverQuit);

  EXPECT_TRUE(fake.filesRead.empty());
  EXPECT_EQ(fake.runtime.userDataFolder, "/home/player/.local/share/packed");
  EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(StartupTest, LooseConfigurationIsReadFromTheAppFolder) {
  fake.addFile("package.json", kMinimalPackage);

  run();

  ASSERT_FALSE(fake.resourceQueries.empty());
  EXPECT_EQ(fake.resourceQueries[0], "ZephyxData/PackageJson");
  EXPECT_EQ(fake.filesRead, std::vector<std::string>{"/opt/game/package.json"});
}

TEST_F(StartupTest, MissingConfigurationFailsToLoad) {
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kLoadFailed);
  EXPECT_FALSE(fake.log->contains("windowSystem.connect"));
}

TEST_F(StartupTest, EmptyConfigurationFileFailsToLoadNotToParse) {
  fake.addFile("package.json", "");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kLoadFailed);
}

TEST_F(StartupTest, MalformedConfigurationFailsToParse) {
  fake.addFile("package.json", R"({"name":"game",})");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kParseFailed);
}

TEST_F(StartupTest, UnknownModeFailsToParse) {
  fake.addFile("package.json", R"({"name":"game","settings":{"hosting-mode":"Visual"}})");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kParseFailed);
}

TEST_F(StartupTest, SingleFileBuildThatWasNeverBundledIsRefused) {
  fake.addFile("package.json", R"({"name":"game","bundle":{"type":"single-file"}})");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(
      "This app was exported for bundling in to a single file, but it has not been bundled "
      "yet. Run 'fusepack' first to bundle this app.");
}

// ----- Folders and origin -----

TEST_F(StartupTest, AppDataFolderIsTheLocalDataFolderAndTheName) {
  fake.addFile("package.json", kMinimalPackage);
  run();
  EXPECT_EQ(fake.runtime.userDataFolder, "/home/player/.local/share/game");
}

TEST_F(StartupTest, UnknownLocalDataFolderGivesASlashAndTheName) {
  fake.localAppData.clear();
  fake.addFile("package.json", kMinimalPackage);
  run();
  EXPECT_EQ(fake.runtime.userDataFolder, "/game");
}

TEST_F(StartupTest, FolderHelpers) {
  EXPECT_EQ(AppFolderOf("/opt/game/tavrelle"), "/opt/game/");
  EXPECT_EQ(AppFolderOf("/tavrelle"), "/");
  EXPECT_EQ(AppFolderOf("tavrelle"), "tavrelle");
  EXPECT_EQ(ExtensionFolderFor(false, "/opt/game/", "/data/game"), "/opt/game/");
  EXPECT_EQ(ExtensionFolderFor(true, "/opt/game/", "/data/game"), "/data/game/zxext/");
}

TEST_F(StartupTest, LooseBuildKeepsExtensionsInTheAppFolder) {
  fake.addFile("package.json", kMinimalPackage);
  ExtensionFolders seen;
  fake.loop.whileRunning = [&] { seen = CurrentWebViewHost()->extensionManager()->folders(); };
  run();
  EXPECT_EQ(seen.appFolder, "/opt/game/");
  EXPECT_EQ(seen.webRoot, "www/");
  EXPECT_EQ(seen.appDataFolder, "/home/player/.local/share/game");
  EXPECT_EQ(seen.extensionFolder, "/opt/game/");
}

TEST_F(StartupTest, SingleFileBuildKeepsExtensionsUnderTheAppDataFolder) {
  fake.addResource("PackageJson", kMinimalPackage);
  ExtensionFolders seen;
  fake.loop.whileRunning = [&] { seen = CurrentWebViewHost()->extensionManager()->folders(); };
  run();
  EXPECT_EQ(seen.extensionFolder, "/home/player/.local/share/game/zxext/");
}

TEST_F(StartupTest, BundleModeNavigatesUnderTheAppOrigin) {
  fake.addFile("package.json", R"({"name":"game","main":"start.html"})");
  std::vector<std::string> navigations;
  fake.loop.whileRunning = [&] {
    fake.runtime.completeCreation();
    navigations = fake.runtime.webView()->navigations;
  };
  run();
  EXPECT_EQ(navigations, std::vector<std::string>{"https://tavrelle.localhost/start.html"});
  EXPECT_EQ(ContentOriginFor(AppConfig{}), "https://tavrelle.localhost/");
}

TEST_F(StartupTest, RemoteModeAcceptsTheStartAddressAsOrigin) {
  AppConfig config;
  config.contentMode = ContentMode::Remote;
  config.main = "https://example.com/game/";
  EXPECT_EQ(ContentOriginFor(config), "https://example.com/game/");

  fake.addFile("package.json", R"({"name":"game","main":"https://example.com/game/",)"
                               R"("settings":{"content-mode":"remote"}})");
  std::string origin;
  fake.loop.whileRunning = [&] { origin = CurrentWebViewHost()->contentOrigin(); };
  run();
  EXPECT_EQ(origin, "https://example.com/game/");
}

// ----- Asset bundle -----

TEST_F(StartupTest, MissingBundleFileIsNoErrorAndTheIconComesFromTheWebRoot) {
  fake.addFile("package.json", R"({"name":"game","window":{"icon":"icon.png"},)"
                               R"("bundle":{"type":"asset-bundle","assets-path":"assets.zxab"}})");
  fake.addFile("www/icon.png", "PNG-from-www");

  run();

  EXPECT_TRUE(fake.messageBoxes.empty());
  EXPECT_TRUE(fake.filesMapped.empty());
  EXPECT_EQ(fake.imagesDecodedFromFiles, std::vector<std::string>{"/opt/game/www/icon.png"});
  EXPECT_EQ(fake.windowSystem.createCalls, 1);
}

TEST_F(StartupTest, EmptyAssetsPathNamesTheAppFolderAndFails) {
  fake.addFile("package.json", R"({"name":"game","bundle":{"type":"asset-bundle"}})");
  fake.addFolder("/opt/game/");

  EXPECT_EQ(run(), 1);

  EXPECT_EQ(fake.filesMapped, std::vector<std::string>{"/opt/game/"});
  expectOnlyFailure(kBundleFailed);
}

TEST_F(StartupTest, DamagedBundleFileFails) {
  fake.addFile("package.json",
               R"({"name":"game","bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})");
  fake.addFile("a.zxab", "not a bundle at all");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kBundleFailed);
}

TEST_F(StartupTest, BundleFileIsMappedAndTheIconComesFromIt) {
  fake.addFile("package.json", R"({"name":"game","window":{"icon":"img\\icon.png"},)"
                               R"("bundle":{"type":"asset-bundle","assets-path":"data/a.zxab"}})");
  fake.addFile("data/a.zxab", BundleBuilder().addFile("img/icon.png", "PNG-in-bundle").build());

  run();

  EXPECT_TRUE(fake.messageBoxes.empty());
  EXPECT_EQ(fake.filesMapped, std::vector<std::string>{"/opt/game/data/a.zxab"});
  EXPECT_EQ(fake.imagesDecodedFromMemory, std::vector<std::string>{"PNG-in-bundle"});
  EXPECT_TRUE(fake.imagesDecodedFromFiles.empty());
}

TEST_F(StartupTest, IconMissingFromAnOpenBundleIsNotLookedForInTheWebRoot) {
  fake.addFile("package.json", R"({"name":"game","window":{"icon":"icon.png"},)"
                               R"("bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})");
  fake.addFile("a.zxab", BundleBuilder().addFile("index.html", "<p>").build());
  fake.addFile("www/icon.png", "PNG");
  std::optional<Image> icon;
  fake.loop.whileRunning = [&] { icon = fake.window()->params.icon; };

  run();

  EXPECT_TRUE(fake.imagesDecodedFromFiles.empty());
  EXPECT_FALSE(icon.has_value());
}

TEST_F(StartupTest, SingleFileBuildReadsTheBundleResource) {
  fake.addResource("PackageJson",
                   R"({"name":"game","window":{"icon":"i.png"},"bundle":{"type":"single-file"}})");
  fake.addResource("AssetBundle", BundleBuilder().addFile("i.png", "PNG-packed").build());
  std::optional<Image> icon;
  fake.loop.whileRunning = [&] { icon = fake.window()->params.icon; };

  run();

  EXPECT_TRUE(fake.messageBoxes.empty());
  EXPECT_TRUE(fake.filesMapped.empty());
  ASSERT_TRUE(icon.has_value());
  EXPECT_EQ(icon->width, 10);  // the fake decoder's width is the byte count
}

TEST_F(StartupTest, SingleFileBuildWithoutBundleResourceFails) {
  fake.addResource("PackageJson", R"({"name":"game","bundle":{"type":"asset-bundle"}})");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kBundleFailed);
}

TEST_F(StartupTest, SingleFileBuildWithDamagedBundleResourceFails) {
  fake.addResource("PackageJson", R"({"name":"game","bundle":{"type":"single-file"}})");
  fake.addResource("AssetBundle", "zxab but nothing else");
  EXPECT_EQ(run(), 1);
  expectOnlyFailure(kBundleFailed);
}

TEST_F(StartupTest, SingleFileBuildWithoutBundleTypeNeverAsksForTheBundleResource) {
  fake.addResource("PackageJson", kMinimalPackage);
  run();
  EXPECT_EQ(fake.resourceQueries, std::vector<std::string>{"ZephyxData/PackageJson"});
}

TEST_F(StartupTest, UndecodableIconLeavesTheDefaultIcon) {
  fake.addFile("package.json", R"({"name":"game","window":{"icon":"icon.ico"}})");
  fake.addFile("www/icon.ico", "ICO");
  std::optional<Image> icon = Image{};
  fake.loop.whileRunning = [&] { icon = fake.window()->params.icon; };
  run();
  EXPECT_FALSE(icon.has_value());
}

TEST_F(StartupTest, NoIconConfiguredDecodesNothing) {
  fake.addFile("package.json", kMinimalPackage);
  run();
  EXPECT_TRUE(fake.imagesDecodedFromFiles.empty());
  EXPECT_TRUE(fake.imagesDecodedFromMemory.empty());
}

// ----- Runtime check -----

TEST_F(StartupTest, EvergreenWithoutRuntimeWarnsThenOpensTheDownloadPage) {
  fake.addFile("package.json", R"({"name":"game","window":{"title":"My Game"},)"
                               R"("messages":{"install-webview2-required":"Get a browser."}})");
  fake.runtime.installedVersion.reset();

  EXPECT_EQ(run(), 1);

  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].text, "Get a browser.");
  EXPECT_EQ(fake.messageBoxes[0].caption, "My Game");
  EXPECT_EQ(fake.messageBoxes[0].icon, MessageBoxIcon::Warning);
  EXPECT_EQ(fake.shellOpened, std::vector<std::string>{
                                  "https://www.chromium.org/getting-involved/download-chromium/"});
  EXPECT_LT(fake.log->indexOf("messageBox"), fake.log->indexOf("shellOpen"));
  EXPECT_EQ(fake.runtime.versionQueries, std::vector<std::optional<std::string>>{std::nullopt});
  EXPECT_FALSE(fake.log->contains("windowSystem.connect"));
}

TEST_F(StartupTest, FixedWithoutRuntimeNamesTheFolder) {
  fake.addFile("package.json", R"({"name":"game","window":{"title":"My Game"},)"
                               R"("settings":{"distribution-mode":"fixed"}})");
  fake.runtime.fixedVersion.reset();

  EXPECT_EQ(run(), 1);

  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].text,
            "This app is set to \"fixed\" distribution mode, but the Chromium web view failed to "
            "initialize. Check there is a valid fixed distribution of a Chromium-family browser "
            "in the \"webview2\" subfolder.");
  EXPECT_EQ(fake.messageBoxes[0].caption, "My Game");
  EXPECT_EQ(fake.messageBoxes[0].icon, MessageBoxIcon::Error);
  EXPECT_TRUE(fake.shellOpened.empty());
  EXPECT_EQ(fake.runtime.versionQueries,
            std::vector<std::optional<std::string>>{std::string("webview2")});
}

TEST_F(StartupTest, FixedRuntimeFolderIsHandedOnUnjoined) {
  fake.addFile("package.json", R"({"name":"game","settings":{"distribution-mode":"fixed"}})");
  run();
  EXPECT_EQ(fake.runtime.browserExecutableFolder, std::optional<std::string>("webview2"));
}

TEST_F(StartupTest, EvergreenHandsOnNoRuntimeFolder) {
  fake.addFile("package.json", kMinimalPackage);
  run();
  EXPECT_EQ(fake.runtime.environmentRequests, 1);
  EXPECT_FALSE(fake.runtime.browserExecutableFolder.has_value());
}

// ----- Window -----

TEST_F(StartupTest, NoDisplayFailsToRegisterTheWindowClass) {
  fake.addFile("package.json", kMinimalPackage);
  fake.failConnect = true;
  EXPECT_EQ(run(), 1);
  expectOnlyFailure("Failed to register window class");
}

TEST_F(StartupTest, WindowThatCannotBeCreatedFails) {
  fake.addFile("package.json", kMinimalPackage);
  fake.windowSystem.failCreate = true;
  EXPECT_EQ(run(), 1);
  expectOnlyFailure("Failed to create window");
  EXPECT_EQ(fake.runtime.environmentRequests, 0);
}

TEST_F(StartupTest, WindowIsCreatedHiddenWithClassTitleAndBackground) {
  fake.addFile("package.json",
               R"({"name":"game","window":{"title":"Über Game","background-color":[1,2,3]}})");
  MainWindowParams params;
  fake.loop.whileRunning = [&] { params = fake.window()->params; };
  run();
  EXPECT_EQ(params.className, "Tavrelle");
  EXPECT_EQ(params.title, "Über Game");
  EXPECT_EQ(params.background, (Rgb{1, 2, 3}));
  EXPECT_LT(fake.log->indexOf("windowSystem.createMainWindow"),
            fake.log->indexOf("runtime.CreateEnvironment"));
  EXPECT_FALSE(fake.log->contains("window.show"));
}

struct StyleCase {
  const char* window;
  uint32_t style;
};

class WindowStyleTest : public ::testing::TestWithParam<StyleCase> {};

TEST_P(WindowStyleTest, FollowsCaptionAndResizable) {
  AppConfig config;
  config.name = "game";
  const std::string json = std::string(R"({"name":"game","window":)") + GetParam().window + "}";
  ParsePackageJson(json, config);
  EXPECT_EQ(WindowStyleFor(config), GetParam().style);
}

INSTANTIATE_TEST_SUITE_P(
    StyleTable, WindowStyleTest,
    ::testing::Values(StyleCase{R"({"caption":true,"resizable":true})", 0x00CF0000},
                      StyleCase{R"({"caption":true,"resizable":false})", 0x00CA0000},
                      StyleCase{R"({"caption":false,"resizable":true})", 0},
                      StyleCase{R"({"caption":false,"resizable":false})", 0},
                      StyleCase{R"({})", 0x00CF0000}));

struct SizeCase {
  int dpi;
  int width;
  int height;
  int clientWidth;
  int clientHeight;
};

class WindowSizeTest : public StartupTest, public ::testing::WithParamInterface<SizeCase> {};

TEST_P(WindowSizeTest, ClientAreaIsScaledThenFramed) {
  const SizeCase size = GetParam();
  fake.windowSystem.dpi = size.dpi;
  fake.addFile("package.json", R"({"name":"game","window":{"width":)" + std::to_string(size.width) +
                                   R"(,"height":)" + std::to_string(size.height) + "}}");
  MainWindowParams params;
  fake.loop.whileRunning = [&] { params = fake.window()->params; };

  run();

  // The fake frame: 8 left and right, 31 on top, 8 at the bottom.
  EXPECT_EQ(params.outerWidth, size.clientWidth + 16);
  EXPECT_EQ(params.outerHeight, size.clientHeight + 39);
}

INSTANTIATE_TEST_SUITE_P(Dpi, WindowSizeTest,
                         ::testing::Values(SizeCase{96, 1024, 768, 1024, 768},
                                           SizeCase{120, 1024, 768, 1280, 960},
                                           SizeCase{120, 801, 600, 1002, 750},
                                           SizeCase{144, 1024, 768, 1536, 1152}));

TEST_F(StartupTest, CaptionlessWindowHasNoFrame) {
  fake.addFile("package.json", R"({"name":"game","window":{"caption":false}})");
  MainWindowParams params;
  fake.loop.whileRunning = [&] { params = fake.window()->params; };
  run();
  EXPECT_EQ(params.style, 0u);
  EXPECT_EQ(params.outerWidth, 1024);
  EXPECT_EQ(params.outerHeight, 768);
}

// ----- Running and shutting down -----

TEST_F(StartupTest, HostIsCurrentWhileTheLoopRunsAndCreationHasBegun) {
  fake.addFile("package.json", kMinimalPackage);
  ZephyxWebView* during = nullptr;
  int requestsBeforeLoop = -1;
  fake.loop.whileRunning = [&] {
    during = CurrentWebViewHost();
    requestsBeforeLoop = fake.runtime.environmentRequests;
  };
  run();
  EXPECT_NE(during, nullptr);
  EXPECT_EQ(requestsBeforeLoop, 1);
  EXPECT_EQ(CurrentWebViewHost(), nullptr);
}

TEST_F(StartupTest, ClosingTheWindowEndsWithExitCodeZero) {
  fake.addFile("package.json", kMinimalPackage);
  whileRunningLoadAndClose();
  EXPECT_EQ(run(), 0);
  EXPECT_TRUE(fake.messageBoxes.empty());
}

TEST_F(StartupTest, ShutdownUnmapsTheBundleAndClearsTheHostBeforeDestroyingTheWebView) {
  fake.addFile("package.json",
               R"({"name":"game","bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})");
  fake.addFile("a.zxab", BundleBuilder().addFile("index.html", "<p>").build());
  bool bundleMappedDuringRun = false;
  bool bundleUnmappedFirst = false;
  bool hostClearedFirst = false;
  fake.loop.whileRunning = [&] {
    fake.runtime.completeCreation();
    bundleMappedDuringRun = !fake.lastMapping.expired();
    fake.runtime.webView()->onDestroyed = [&] {
      bundleUnmappedFirst = fake.lastMapping.expired();
      hostClearedFirst = CurrentWebViewHost() == nullptr;
    };
    fake.window()->deliver({.kind = WindowEvent::Kind::Destroy});
  };

  EXPECT_EQ(run(), 0);

  EXPECT_TRUE(bundleMappedDuringRun);
  EXPECT_TRUE(bundleUnmappedFirst);
  EXPECT_TRUE(hostClearedFirst);
  // The web view goes before its window.
  EXPECT_LT(fake.log->indexOf("webView.destroyed"), fake.log->indexOf("window.destroyed"));
  EXPECT_LT(fake.log->indexOf("controller.destroyed"), fake.log->indexOf("environment.destroyed"));
}

TEST_F(StartupTest, WebViewThatCannotStartEndsWithExitCodeOne) {
  fake.addFile("package.json", kMinimalPackage);
  fake.loop.whileRunning = [this] { fake.runtime.failEnvironment("no browser binary"); };

  EXPECT_EQ(run(), 1);

  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].text, "Failed to start the web view runtime: no browser binary");
}

TEST_F(StartupTest, BrowserThatDiesEndsWithExitCodeTwo) {
  fake.addFile("package.json", kMinimalPackage);
  fake.loop.whileRunning = [this] {
    fake.runtime.completeCreation();
    fake.runtime.webView()->fireProcessFailed(webview::ProcessFailedKind::BrowserProcessExited);
  };
  EXPECT_EQ(run(), 2);
  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].caption, "Tavrelle");
}

}  // namespace
}  // namespace tavrelle
