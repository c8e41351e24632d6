#include "webview/ZephyxWebView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include "support/WebViewHostHarness.h"

namespace tavrelle {
namespace {

using Strings = std::vector<std::string>;

class ZephyxWebViewCreationTest : public ::testing::Test {
 protected:
  test::WebViewHostHarness harness;
};

// The folders handed on are StartupTest's.
TEST_F(ZephyxWebViewCreationTest, InitAsksForAnEnvironmentThenAControllerInTheMainWindow) {
  harness.config.chromiumArgs = "--enable-features=Foo";
  harness.config.backgroundColor = {10, 20, 30};
  harness.create().Init();
  EXPECT_EQ(harness.runtime.environmentOptions.additionalBrowserArguments, "--enable-features=Foo");
  EXPECT_TRUE(harness.environmentVariables.empty());
  harness.runtime.completeEnvironment();
  const auto* environment = harness.runtime.environment();
  EXPECT_EQ(environment->parentWindow, test::FakeMainWindow::kNativeHandle);
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
  Strings settings;
  std::ranges::copy_if(harness.log->entries(), std::back_inserter(settings),
                       [](const std::string& entry) { return entry.starts_with("settings."); });
  EXPECT_EQ(
      settings,
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
  EXPECT_EQ(harness.controller().bounds, (std::vector<Rect>{{0, 0, 800, 600}}));
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
  for (const bool environmentFails : {true, false}) {
    SCOPED_TRACE(environmentFails ? "environment" : "controller");
    test::WebViewHostHarness harness;
    harness.create().Init();
    if (environmentFails) {
      harness.runtime.failEnvironment("browser not found");
    } else {
      harness.runtime.completeEnvironment();
      harness.runtime.environment()->failController("window gone");
    }
    EXPECT_EQ(harness.loopEndCodes, std::vector<int>{1});
    ASSERT_EQ(harness.messageBoxes.size(), 1u);
    EXPECT_EQ(harness.messageBoxes[0].text,
              std::string("Failed to start the web view runtime: ") +
                  (environmentFails ? "browser not found" : "window gone"));
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
