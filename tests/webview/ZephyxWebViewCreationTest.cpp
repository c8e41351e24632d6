#include "webview/ZephyxWebView.h"

#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"

namespace tavrelle {
namespace {

using test::WebViewHostHarness;

class ZephyxWebViewCreationTest : public ::testing::Test {
 protected:
  WebViewHostHarness harness;
};

TEST_F(ZephyxWebViewCreationTest, InitAsksForAnEnvironmentAndReturns) {
  harness.config.chromiumArgs = "--enable-features=Foo";
  harness.browserFolder = "webview2";
  harness.create().Init();

  EXPECT_EQ(harness.runtime.environmentRequests, 1);
  EXPECT_EQ(harness.runtime.browserExecutableFolder, std::optional<std::string>("webview2"));
  EXPECT_EQ(harness.runtime.userDataFolder, "/home/player/.local/share/game");
  EXPECT_EQ(harness.runtime.environmentOptions.additionalBrowserArguments, "--enable-features=Foo");
  EXPECT_EQ(harness.runtime.environmentOptions.targetCompatibleBrowserVersion, "152.0.4191.47");
  EXPECT_EQ(harness.host().controller(), nullptr);
}

TEST_F(ZephyxWebViewCreationTest, EmptyBrowserArgumentsAreStillSet) {
  harness.create().Init();
  EXPECT_EQ(harness.runtime.environmentOptions.additionalBrowserArguments, "");
}

TEST_F(ZephyxWebViewCreationTest, WindowToVisualSetsTheForcedHostingModeFirst) {
  harness.config.hostingMode = HostingMode::WindowToVisual;
  harness.createAndComplete();

  ASSERT_EQ(harness.environmentVariables.size(), 1u);
  EXPECT_EQ(harness.environmentVariables[0].first, "COREWEBVIEW2_FORCED_HOSTING_MODE");
  EXPECT_EQ(harness.environmentVariables[0].second, "COREWEBVIEW2_HOSTING_MODE_WINDOW_TO_VISUAL");
  EXPECT_LT(harness.log->indexOf("setEnvironmentVariable"),
            harness.log->indexOf("runtime.CreateEnvironment"));
  EXPECT_NE(harness.host().controller(), nullptr);
}

TEST_F(ZephyxWebViewCreationTest, WindowedAndVisualModesSetNoVariable) {
  harness.config.hostingMode = HostingMode::Visual;
  harness.createAndComplete();
  EXPECT_TRUE(harness.environmentVariables.empty());
  EXPECT_NE(harness.host().controller(), nullptr);
}

TEST_F(ZephyxWebViewCreationTest, ControllerIsCreatedInTheMainWindowWithOptions) {
  harness.config.allowHostInputProcessing = false;
  harness.config.backgroundColor = {10, 20, 30};
  harness.create().Init();
  harness.runtime.completeEnvironment();

  const auto* environment = harness.runtime.environment();
  ASSERT_NE(environment, nullptr);
  EXPECT_EQ(environment->parentWindow, test::FakeMainWindow::kNativeHandle);
  EXPECT_FALSE(environment->options.allowHostInputProcessing);
  EXPECT_EQ(environment->options.defaultBackgroundColor, (Rgb{10, 20, 30}));
}

TEST_F(ZephyxWebViewCreationTest, SettingsAreAppliedInOrder) {
  harness.config.enableDevtools = false;
  harness.createAndComplete();

  EXPECT_EQ(harness.log->withPrefix("settings."),
            (std::vector<std::string>{
                "settings.ScriptEnabled=true", "settings.HostObjectsAllowed=false",
                "settings.DefaultScriptDialogsEnabled=true", "settings.WebMessageEnabled=true",
                "settings.ZoomControlEnabled=false", "settings.DefaultContextMenusEnabled=true",
                "settings.DevToolsEnabled=false", "settings.BrowserAcceleratorKeysEnabled=false",
                "settings.ReputationCheckingRequired=false", "settings.PinchZoomEnabled=false",
                "settings.SwipeNavigationEnabled=false"}));
}

TEST_F(ZephyxWebViewCreationTest, BundleModeStepsInOrder) {
  harness.createAndComplete();

  std::vector<std::string> steps;
  for (const auto& entry : harness.log->entries()) {
    if (!entry.starts_with("settings.") && !entry.starts_with("runtime.") &&
        !entry.starts_with("environment.")) {
      steps.push_back(entry);
    }
  }
  EXPECT_EQ(steps, (std::vector<std::string>{
                       "controller.add_AcceleratorKeyPressed",
                       "controller.put_Bounds",
                       "webView.add_DocumentTitleChanged",
                       "webView.AddWebResourceRequestedFilter",
                       "webView.add_WebResourceRequested",
                       "webView.add_NavigationStarting",
                       "webView.add_PermissionRequested",
                       "webView.add_ContainsFullScreenElementChanged",
                       "webView.add_WindowCloseRequested",
                       "webView.add_NewWindowRequested",
                       "webView.add_WebMessageReceived",
                       "webView.add_DOMContentLoaded",
                       "webView.add_ProcessFailed",
                       "webView.Navigate",
                   }));
  EXPECT_LT(harness.log->indexOf("settings.BrowserAcceleratorKeysEnabled=false"),
            harness.log->indexOf("controller.add_AcceleratorKeyPressed"));
  EXPECT_LT(harness.log->indexOf("controller.add_AcceleratorKeyPressed"),
            harness.log->indexOf("settings.ReputationCheckingRequired=false"));
}

TEST_F(ZephyxWebViewCreationTest, BundleModeFiltersTheOriginAndNavigatesUnderIt) {
  harness.config.main = "game/start.html";
  harness.createAndComplete();

  EXPECT_EQ(harness.webView().filters,
            std::vector<std::string>{"https://tavrelle.localhost/* all"});
  EXPECT_EQ(harness.webView().navigations,
            std::vector<std::string>{"https://tavrelle.localhost/game/start.html"});
}

TEST_F(ZephyxWebViewCreationTest, RemoteModeInterceptsNothingAndNavigatesToMainAsWritten) {
  harness.config.contentMode = ContentMode::Remote;
  harness.config.main = "https://example.com/play?x=a b";
  harness.contentOrigin = harness.config.main;
  harness.createAndComplete();

  EXPECT_TRUE(harness.webView().filters.empty());
  EXPECT_FALSE(harness.log->contains("webView.add_WebResourceRequested"));
  EXPECT_FALSE(harness.log->contains("webView.add_NavigationStarting"));
  EXPECT_EQ(harness.webView().navigations,
            std::vector<std::string>{"https://example.com/play?x=a b"});
}

TEST_F(ZephyxWebViewCreationTest, ControllerBoundsAreTheClientArea) {
  harness.createAndComplete();
  ASSERT_EQ(harness.controller().bounds.size(), 1u);
  EXPECT_EQ(harness.controller().bounds[0], (Rect{0, 0, 800, 600}));
}

TEST_F(ZephyxWebViewCreationTest, WindowStaysHiddenUntilTheFirstDocument) {
  harness.createAndComplete();
  EXPECT_EQ(harness.window().showCount, 0);
}

// ----- Creation that fails -----

TEST_F(ZephyxWebViewCreationTest, FailedEnvironmentIsReportedAndEndsTheApp) {
  harness.create().Init();
  harness.runtime.failEnvironment("browser not found");

  ASSERT_EQ(harness.messageBoxes.size(), 1u);
  EXPECT_EQ(harness.messageBoxes[0].text,
            "Failed to start the web view runtime: browser not found");
  EXPECT_EQ(harness.messageBoxes[0].caption, "Tavrelle");
  EXPECT_EQ(harness.messageBoxes[0].icon, MessageBoxIcon::Error);
  EXPECT_EQ(harness.loopEndCodes, std::vector<int>{1});
  EXPECT_FALSE(harness.log->contains("environment.CreateController"));
}

TEST_F(ZephyxWebViewCreationTest, EnvironmentReportedAsFailedIsNotUsedEvenWhenPresent) {
  harness.create().Init();
  harness.runtime.failEnvironment("", true);

  ASSERT_EQ(harness.messageBoxes.size(), 1u);
  EXPECT_EQ(harness.messageBoxes[0].text,
            "Failed to start the web view runtime: no web view was created");
  EXPECT_FALSE(harness.log->contains("environment.CreateController"));
}

TEST_F(ZephyxWebViewCreationTest, FailedControllerIsReportedAndNothingIsRegistered) {
  harness.create().Init();
  harness.runtime.completeEnvironment();
  harness.runtime.environment()->failController("window gone");

  ASSERT_EQ(harness.messageBoxes.size(), 1u);
  EXPECT_EQ(harness.messageBoxes[0].text, "Failed to start the web view runtime: window gone");
  EXPECT_EQ(harness.loopEndCodes, std::vector<int>{1});
  EXPECT_EQ(harness.host().controller(), nullptr);
  EXPECT_TRUE(harness.log->withPrefix("settings.").empty());
}

TEST_F(ZephyxWebViewCreationTest, SucceededEnvironmentThatIsMissingIsAFailure) {
  harness.create().Init();
  harness.runtime.completeEnvironmentWithNothing();
  EXPECT_EQ(harness.loopEndCodes, std::vector<int>{1});
}

TEST_F(ZephyxWebViewCreationTest, PostingBeforeTheWebViewExistsIsDropped) {
  harness.create();
  harness.host().PostJsonToPage(R"({"type":"x"})");
  harness.host().Init();
  harness.runtime.completeCreation();
  EXPECT_TRUE(harness.posted().empty());
}

TEST_F(ZephyxWebViewCreationTest, DestructionReleasesWebViewThenControllerThenEnvironment) {
  harness.createAndComplete();
  harness.destroyHost();
  const long webView = harness.log->indexOf("webView.destroyed");
  const long controller = harness.log->indexOf("controller.destroyed");
  const long environment = harness.log->indexOf("environment.destroyed");
  ASSERT_GE(webView, 0);
  EXPECT_LT(webView, controller);
  EXPECT_LT(controller, environment);
}

}  // namespace
}  // namespace tavrelle
