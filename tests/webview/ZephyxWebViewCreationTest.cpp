#include "webview/ZephyxWebView.h"

#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"

namespace tavrelle {
namespace {

using Strings = std::vector<std::string>;

class ZephyxWebViewCreationTest : public ::testing::Test {
 protected:
  Strings settingsLog() {
    Strings settings;
    for (const auto& entry : harness.log->entries()) {
      if (entry.starts_with("settings.")) settings.push_back(entry);
    }
    return settings;
  }

  test::WebViewHostHarness harness;
};

TEST_F(ZephyxWebViewCreationTest, InitAsksForAnEnvironmentThenAControllerInTheMainWindow) {
  harness.config.chromiumArgs = "--enable-features=Foo";
  harness.config.allowHostInputProcessing = false;
  harness.config.backgroundColor = {10, 20, 30};
  harness.browserFolder = "webview2";
  harness.create().Init();
  EXPECT_EQ(harness.runtime.environmentRequests, 1);
  EXPECT_EQ(harness.runtime.browserExecutableFolder, std::optional<std::string>("webview2"));
  EXPECT_EQ(harness.runtime.userDataFolder, "/home/player/.local/share/game");
  EXPECT_EQ(harness.runtime.environmentOptions.additionalBrowserArguments, "--enable-features=Foo");
  EXPECT_TRUE(harness.environmentVariables.empty());
  harness.runtime.completeEnvironment();
  const auto* environment = harness.runtime.environment();
  EXPECT_EQ(environment->parentWindow, test::FakeMainWindow::kNativeHandle);
  EXPECT_FALSE(environment->options.allowHostInputProcessing);
  EXPECT_EQ(environment->options.defaultBackgroundColor, (Rgb{10, 20, 30}));
}

// Other modes set nothing (the tests above and the visual hosting tests).
TEST_F(ZephyxWebViewCreationTest, WindowToVisualSetsTheForcedHostingModeFirst) {
  harness.config.hostingMode = HostingMode::WindowToVisual;
  harness.createAndComplete();
  EXPECT_EQ(
      harness.environmentVariables,
      (std::vector<std::pair<std::string, std::string>>{
          {"COREWEBVIEW2_FORCED_HOSTING_MODE", "COREWEBVIEW2_HOSTING_MODE_WINDOW_TO_VISUAL"}}));
  EXPECT_LT(harness.log->indexOf("setEnvironmentVariable"),
            harness.log->indexOf("runtime.CreateEnvironment"));
}

TEST_F(ZephyxWebViewCreationTest, SettingsAreApplied) {
  harness.config.enableDevtools = false;
  harness.createAndComplete();
  EXPECT_EQ(
      settingsLog(),
      (Strings{"settings.ScriptEnabled=true", "settings.HostObjectsAllowed=false",
               "settings.DefaultScriptDialogsEnabled=true", "settings.WebMessageEnabled=true",
               "settings.ZoomControlEnabled=false", "settings.DefaultContextMenusEnabled=true",
               "settings.DevToolsEnabled=false", "settings.BrowserAcceleratorKeysEnabled=false",
               "settings.ReputationCheckingRequired=false", "settings.PinchZoomEnabled=false",
               "settings.SwipeNavigationEnabled=false"}));
}

TEST_F(ZephyxWebViewCreationTest, BundleModeSetsEverythingUpThenNavigatesUnderTheOrigin) {
  harness.config.main = "game/start.html";
  harness.createAndComplete();
  const auto& entries = harness.log->entries();
  const long navigate = harness.log->indexOf("webView.Navigate");
  ASSERT_GE(navigate, 0);
  for (long i = 0; i < static_cast<long>(entries.size()); ++i) {
    if (entries[i].starts_with("settings.") || entries[i].find(".add") != std::string::npos ||
        entries[i] == "controller.put_Bounds") {
      EXPECT_LT(i, navigate) << entries[i];
    }
  }
  EXPECT_EQ(harness.webView().filters, Strings{"https://tavrelle.localhost/* all"});
  EXPECT_EQ(harness.webView().navigations, Strings{"https://tavrelle.localhost/game/start.html"});
  ASSERT_EQ(harness.controller().bounds.size(), 1u);
  EXPECT_EQ(harness.controller().bounds[0], (Rect{0, 0, 800, 600}));
  EXPECT_EQ(harness.window().showCount, 0);  // hidden until the first document
}

TEST_F(ZephyxWebViewCreationTest, RemoteModeInterceptsNothingAndNavigatesToMainAsWritten) {
  harness.config.contentMode = ContentMode::Remote;
  harness.config.main = "https://example.com/play?x=a b";
  harness.contentOrigin = harness.config.main;
  harness.createAndComplete();
  EXPECT_TRUE(harness.webView().filters.empty());
  EXPECT_FALSE(harness.log->contains("webView.add_WebResourceRequested"));
  EXPECT_FALSE(harness.log->contains("webView.add_NavigationStarting"));
  EXPECT_EQ(harness.webView().navigations, Strings{"https://example.com/play?x=a b"});
}

TEST(ZephyxWebViewCreationFailure, IsReportedAndEndsTheAppWithOne) {
  struct Case {
    const char* name;
    std::function<void(test::FakeWebViewRuntime&)> fail;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"environment", [](auto& r) { r.failEnvironment("browser not found"); },
       "Failed to start the web view runtime: browser not found"},
      {"controller",
       [](auto& r) {
         r.completeEnvironment();
         r.environment()->failController("window gone");
       },
       "Failed to start the web view runtime: window gone"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::WebViewHostHarness harness;
    harness.create().Init();
    c.fail(harness.runtime);
    EXPECT_EQ(harness.loopEndCodes, std::vector<int>{1});
    ASSERT_EQ(harness.messageBoxes.size(), 1u);
    EXPECT_EQ(harness.messageBoxes[0].text, c.text);
    EXPECT_EQ(harness.host().controller(), nullptr);
  }
}

TEST_F(ZephyxWebViewCreationTest, PostingBeforeTheWebViewExistsIsDropped) {
  harness.create();
  harness.host().PostJsonToPage(R"({"type":"x"})");
  harness.host().Init();
  harness.runtime.completeCreation();
  EXPECT_TRUE(harness.posted().empty());
}

}  // namespace
}  // namespace tavrelle
