#include "messaging/MessageChannel.h"

#include <gtest/gtest.h>

#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

class MessageChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { harness.createAndComplete(); }
  void send(const std::string& text) { harness.host().HandleWebMessage(text); }
  void pageStarts() { send(R"({"type":"wrapper-init"})"); }
  const std::vector<ShowCommand>& showCommands() { return harness.window().showCommands; }

  test::WebViewHostHarness harness;
};

TEST_F(MessageChannelTest, ShowCommandsReachTheWindowWhateverElseTheMessageHolds) {
  send(R"({"type":"maximize-window"})");
  send(R"({"type":"minimize-window"})");
  send(R"({"type":"restore-window","windowWidth":5,"nested":{"type":"x"}})");
  EXPECT_EQ(showCommands(), (std::vector<ShowCommand>{ShowCommand::Maximize, ShowCommand::Minimize,
                                                      ShowCommand::Restore}));
}

TEST_F(MessageChannelTest, OnlyWholeCaseSensitiveTypesOfObjectsAreDispatched) {
  for (const std::string text :
       {R"({"type":"Maximize-window"})", R"({"type":" maximize-window"})",
        R"({"type":"maximize-window "})", R"({"type":"maximize"})", R"({"type":3})",
        R"({"type":null})", R"({"type":["maximize-window"]})", R"({"Type":"maximize-window"})",
        R"(["maximize-window"])", "3", "\"maximize-window\"", "", "{",
        R"({"type":"maximize-window"} trailing)", R"({"type":"maximize-window",})",
        "// comment\n{}"}) {
    send(text);
  }
  EXPECT_TRUE(showCommands().empty());
  EXPECT_TRUE(harness.posted().empty());
  send(R"({"type":"maximize-window"})");  // the host carries on
  EXPECT_EQ(showCommands().size(), 1u);
}

TEST_F(MessageChannelTest, FocusWindowRaisesThenFocusesThePage) {
  harness.log->clear();
  send(R"({"type":"focus-window"})");
  EXPECT_EQ(harness.log->entries(),
            (std::vector<std::string>{"window.setForeground", "controller.MoveFocus"}));
}

TEST_F(MessageChannelTest, FullscreenFlagReadsOnlyBooleans) {
  send(R"({"type":"set-fullscreen","fullscreen":1})");
  EXPECT_FALSE(harness.host().isFullscreen());
  send(R"({"type":"set-fullscreen","fullscreen":true})");
  EXPECT_TRUE(harness.host().isFullscreen());
  send(R"({"type":"set-fullscreen"})");
  EXPECT_FALSE(harness.host().isFullscreen());
}

// The queue before the first handshake and its order are ExtensionPageTest's.
TEST_F(MessageChannelTest, AfterAReloadMessagesStillGoOutBeforeTheNewHandshake) {
  pageStarts();
  harness.webView().fireDOMContentLoaded();
  harness.host().LogToConsole("again", "error");
  EXPECT_EQ(harness.posted().back(),
            R"({"logType":"error","message":"again","type":"log-to-console"})");
}

}  // namespace
}  // namespace tavrelle
