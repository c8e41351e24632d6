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
  ASSERT_FALSE(fake.resourceQueries.empty());
  EXPECT_EQ(fake.resourceQueries[0], "ZephyxData/PackageJson");
  EXPECT_EQ(fake.filesRead, std::vector<std::string>{"/opt/game/package.json"});
  EXPECT_EQ(fake.runtime.userDataFolder, "/home/player/.local/share/game");
  EXPECT_EQ(fake.runtime.environmentRequests, 1);
  EXPECT_FALSE(fake.runtime.browserExecutableFolder.has_value());
}

TEST_F(StartupTest, UnknownLocalDataFolderGivesASlashAndTheName) {
  fake.localAppData.clear();
  run(kMinimalPackage);
  EXPECT_EQ(fake.runtime.userDataFolder, "/game");
}

TEST(StartupFailures, ShowOneErrorBoxAndEndWithOneBeforeTheWebView) {
  struct Case {
    const char* name;
    Files files, resources;
    std::string text;
    std::vector<std::string> mapped;
    bool failConnect = false, failCreate = false;
  };
  const std::string singleFile = R"({"name":"game","bundle":{"type":"single-file"}})";
  const std::vector<Case> cases = {
      {"no configuration", {}, {}, kLoadFailed, {}},
      {"empty file", {{"package.json", ""}}, {}, kLoadFailed, {}},
      {"malformed", {{"package.json", R"({"name":"game",})"}}, {}, kParseFailed, {}},
      {"unknown mode",
       {{"package.json", R"({"name":"game","settings":{"hosting-mode":"Visual"}})"}},
       {},
       kParseFailed,
       {}},
      {"never bundled",
       {{"package.json", singleFile}},
       {},
       "This app was exported for bundling in to a single file, but it has not been bundled "
       "yet. Run 'fusepack' first to bundle this app.",
       {}},
      {"empty assets path names the app folder",
       {{"package.json", R"({"name":"game","bundle":{"type":"asset-bundle"}})"}},
       {},
       kBundleFailed,
       {"/opt/game/"}},
      {"damaged bundle file",
       {{"package.json",
         R"({"name":"game","bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})"},
        {"a.zxab", "not a bundle at all"}},
       {},
       kBundleFailed,
       {"/opt/game/a.zxab"}},
      {"packed without bundle resource",
       {},
       {{"PackageJson", R"({"name":"game","bundle":{"type":"asset-bundle"}})"}},
       kBundleFailed,
       {}},
      {"packed with damaged bundle resource",
       {},
       {{"PackageJson", singleFile}, {"AssetBundle", "zxab but nothing else"}},
       kBundleFailed,
       {}},
      {"no display",
       {{"package.json", kMinimalPackage}},
       {},
       "No X display could be opened. Start the app from a desktop session, or set DISPLAY to "
       "a running X server (for example DISPLAY=:0).",
       {},
       true},
      {"no window",
       {{"package.json", kMinimalPackage}},
       {},
       "Failed to create window",
       {},
       false,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeStartupPorts fake;
    Fill(fake, c.files, c.resources);
    fake.addFolder("/opt/game/");
    fake.failConnect = c.failConnect;
    fake.windowSystem.failCreate = c.failCreate;
    EXPECT_EQ(RunStartup(fake), 1);
    ASSERT_EQ(fake.messageBoxes.size(), 1u);
    EXPECT_EQ(fake.messageBoxes[0].text, c.text);
    EXPECT_EQ(fake.messageBoxes[0].caption, "Tavrelle");
    EXPECT_EQ(fake.messageBoxes[0].icon, MessageBoxIcon::Error);
    EXPECT_EQ(fake.filesMapped, c.mapped);
    EXPECT_EQ(fake.runtime.environmentRequests, 0);
    if (c.text == kLoadFailed || c.text == kParseFailed) {
      EXPECT_FALSE(fake.log->contains("windowSystem.connect"));
    }
  }
}

// ----- Folders and origin -----

TEST(StartupFolders, AppFolderOfTheExecutablePath) {
  EXPECT_EQ(AppFolderOf("/opt/game/tavrelle"), "/opt/game/");
  EXPECT_EQ(AppFolderOf("/tavrelle"), "/");
  EXPECT_EQ(AppFolderOf("tavrelle"), "tavrelle");
}

TEST(StartupFolders, ExtensionsLiveInTheAppFolderOrUnderTheAppDataFolderWhenPacked) {
  for (bool packed : {false, true}) {
    FakeStartupPorts fake;
    packed ? fake.addResource("PackageJson", kMinimalPackage)
           : fake.addFile("package.json", kMinimalPackage);
    ExtensionFolders seen;
    fake.loop.whileRunning = [&] { seen = CurrentWebViewHost()->extensionManager()->folders(); };
    RunStartup(fake);
    EXPECT_EQ(seen.appFolder, "/opt/game/");
    EXPECT_EQ(seen.webRoot, "www/");
    EXPECT_EQ(seen.appDataFolder, "/home/player/.local/share/game");
    EXPECT_EQ(seen.extensionFolder,
              packed ? "/home/player/.local/share/game/zxext/" : "/opt/game/");
  }
}

TEST_F(StartupTest, BundleModeNavigatesUnderTheAppOrigin) {
  auto navigations = seenWhileRunning(R"({"name":"game","main":"start.html"})", [&] {
    fake.runtime.completeCreation();
    return fake.runtime.webView()->navigations;
  });
  EXPECT_EQ(navigations, std::vector<std::string>{"https://tavrelle.localhost/start.html"});
  EXPECT_EQ(ContentOriginFor(AppConfig{}), "https://tavrelle.localhost/");
}

TEST_F(StartupTest, RemoteModeAcceptsTheStartAddressAsOrigin) {
  auto origin = seenWhileRunning(R"({"name":"game","main":"https://example.com/game/",)"
                                 R"("settings":{"content-mode":"remote"}})",
                                 [] { return CurrentWebViewHost()->contentOrigin(); });
  EXPECT_EQ(origin, "https://example.com/game/");
}

// ----- Asset bundle and icon -----

TEST(StartupIcon, ComesFromTheOpenBundleOrElseTheWebRoot) {
  const std::string iconInBundle =
      R"({"name":"game","window":{"icon":"img\\icon.png"},)"
      R"("bundle":{"type":"asset-bundle","assets-path":"data/a.zxab"}})";
  const std::string bundleWithout =
      R"({"name":"game","window":{"icon":"icon.png"},"bundle":{"type":"asset-bundle","assets-path":"a.zxab"}})";
  struct Case {
    const char* name;
    Files files, resources;
    std::vector<std::string> mapped, fromFiles, fromMemory;
    int iconWidth;  // -1: none; the fake decoder's width is the byte count
  };
  const std::vector<Case> cases = {
      {"missing bundle file is no error",
       {{"package.json", bundleWithout}, {"www/icon.png", "PNG-from-www"}},
       {},
       {},
       {"/opt/game/www/icon.png"},
       {},
       12},
      {"bundle file",
       {{"package.json", iconInBundle},
        {"data/a.zxab", BundleBuilder().addFile("img/icon.png", "PNG-in-bundle").build()}},
       {},
       {"/opt/game/data/a.zxab"},
       {},
       {"PNG-in-bundle"},
       13},
      {"icon missing from an open bundle",
       {{"package.json", bundleWithout},
        {"a.zxab", BundleBuilder().addFile("index.html", "<p>").build()},
        {"www/icon.png", "PNG"}},
       {},
       {"/opt/game/a.zxab"},
       {},
       {},
       -1},
      {"bundle resource",
       {},
       {{"PackageJson",
         R"({"name":"game","window":{"icon":"i.png"},"bundle":{"type":"single-file"}})"},
        {"AssetBundle", BundleBuilder().addFile("i.png", "PNG-packed").build()}},
       {},
       {},
       {"PNG-packed"},
       10},
      {"undecodable",
       {{"package.json", R"({"name":"game","window":{"icon":"icon.ico"}})"},
        {"www/icon.ico", "ICO"}},
       {},
       {},
       {"/opt/game/www/icon.ico"},
       {},
       -1},
      {"none configured", {{"package.json", kMinimalPackage}}, {}, {}, {}, {}, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeStartupPorts fake;
    Fill(fake, c.files, c.resources);
    std::optional<std::optional<Image>> icon;
    fake.loop.whileRunning = [&] { icon = fake.window()->params.icon; };
    RunStartup(fake);
    EXPECT_TRUE(fake.messageBoxes.empty());
    EXPECT_EQ(fake.filesMapped, c.mapped);
    EXPECT_EQ(fake.imagesDecodedFromFiles, c.fromFiles);
    EXPECT_EQ(fake.imagesDecodedFromMemory, c.fromMemory);
    ASSERT_TRUE(icon.has_value());
    EXPECT_EQ(icon->has_value() ? (*icon)->width : -1, c.iconWidth);
  }
}

TEST_F(StartupTest, PackedBuildWithoutBundleTypeNeverAsksForTheBundleResource) {
  fake.addResource("PackageJson", kMinimalPackage);
  RunStartup(fake);
  EXPECT_EQ(fake.resourceQueries,
            (std::vector<std::string>{"ZephyxData/PackageJson", "ZephyxData/Extensions"}));
}

// ----- Runtime check -----

TEST_F(StartupTest, EvergreenWithoutRuntimeWarnsThenOpensTheDownloadPage) {
  fake.runtime.installedVersion.reset();
  EXPECT_EQ(run(R"({"name":"game","window":{"title":"My Game"},)"
                R"("messages":{"install-webview2-required":"Get a browser."}})"),
            1);
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
  fake.runtime.fixedVersion.reset();
  EXPECT_EQ(run(R"({"name":"game","window":{"title":"My Game"},)"
                R"("settings":{"distribution-mode":"fixed"}})"),
            1);
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
  run(R"({"name":"game","settings":{"distribution-mode":"fixed"}})");
  EXPECT_EQ(fake.runtime.browserExecutableFolder, std::optional<std::string>("webview2"));
}

// ----- Window -----

TEST_F(StartupTest, WindowIsCreatedHiddenWithClassTitleAndBackground) {
  auto params = seenWhileRunning(
      R"({"name":"game","window":{"title":"Über Game","background-color":[1,2,3]}})",
      [&] { return fake.window()->params; });
  EXPECT_EQ(params.className, "Tavrelle");
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
      {R"({"caption":false,"resizable":false})", 0},
      {R"({})", 0x00CF0000}};
  for (const auto& [window, style] : cases) {
    AppConfig config;
    ParsePackageJson(std::string(R"({"name":"game","window":)") + window + "}", config);
    EXPECT_EQ(WindowStyleFor(config), style) << window;
  }
}

TEST(StartupWindow, ClientAreaIsScaledThenFramed) {
  // The fake frame: 8 left and right, 31 on top, 8 at the bottom.
  struct Case {
    int dpi;
    const char* window;
    int outerWidth, outerHeight;
  };
  for (const Case& c :
       {Case{96, R"({"width":1024,"height":768})", 1024 + 16, 768 + 39},
        Case{120, R"({"width":801,"height":600})", 1002 + 16, 750 + 39},
        Case{144, R"({})", 1536 + 16, 1152 + 39}, Case{96, R"({"caption":false})", 1024, 768}}) {
    SCOPED_TRACE(c.window);
    ResetDpiCacheForTesting();
    FakeStartupPorts fake;
    fake.windowSystem.dpi = c.dpi;
    fake.addFile("package.json", std::string(R"({"name":"game","window":)") + c.window + "}");
    MainWindowParams params;
    fake.loop.whileRunning = [&] { params = fake.window()->params; };
    RunStartup(fake);
    EXPECT_EQ(params.outerWidth, c.outerWidth);
    EXPECT_EQ(params.outerHeight, c.outerHeight);
  }
  ResetDpiCacheForTesting();
  SetScreenDpiSource(nullptr);
}

// ----- Running and shutting down -----

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

TEST_F(StartupTest, WebViewThatCannotStartEndsWithOneAndTheBrowserDyingWithTwo) {
  fake.loop.whileRunning = [this] { fake.runtime.failEnvironment("no browser binary"); };
  EXPECT_EQ(run(kMinimalPackage), 1);
  EXPECT_EQ(fake.messageBoxes.size(), 1u);

  FakeStartupPorts dying;
  dying.addFile("package.json", kMinimalPackage);
  dying.loop.whileRunning = [&] {
    dying.runtime.completeCreation();
    dying.runtime.webView()->fireProcessFailed(webview::ProcessFailedKind::BrowserProcessExited);
  };
  EXPECT_EQ(RunStartup(dying), 2);
  ASSERT_EQ(dying.messageBoxes.size(), 1u);
  EXPECT_EQ(dying.messageBoxes[0].caption, "Tavrelle");
}

}  // namespace
}  // namespace tavrelle
