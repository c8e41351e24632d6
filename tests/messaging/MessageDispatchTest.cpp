#include <gtest/gtest.h>

#include "messaging/MessageChannel.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

class MessageDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { harness.createAndComplete(); }
  void send(const std::string& text) { harness.host().HandleWebMessage(text); }
  const std::vector<ShowCommand>& showCommands() { return harness.window().showCommands; }

  test::WebViewHostHarness harness;
};

TEST_F(MessageDispatchTest, ShowCommandsReachTheWindowWhateverElseTheMessageHolds) {
  send(R"({"type":"maximize-window"})");
  send(R"({"type":"minimize-window"})");
  send(R"({"type":"restore-window","windowWidth":5,"nested":{"type":"x"}})");
  EXPECT_EQ(showCommands(), (std::vector<ShowCommand>{ShowCommand::Maximize, ShowCommand::Minimize,
                                                      ShowCommand::Restore}));
}

TEST_F(MessageDispatchTest, OnlyWholeCaseSensitiveTypesOfObjectsAreDispatched) {
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

TEST_F(MessageDispatchTest, FocusWindowRaisesThenFocusesThePage) {
  harness.log->clear();
  send(R"({"type":"focus-window"})");
  EXPECT_EQ(harness.log->entries(),
            (std::vector<std::string>{"window.setForeground", "controller.MoveFocus"}));
}

TEST_F(MessageDispatchTest, FullscreenFlagReadsOnlyBooleans) {
  send(R"({"type":"set-fullscreen","fullscreen":1})");
  EXPECT_FALSE(harness.host().isFullscreen());
  send(R"({"type":"set-fullscreen","fullscreen":true})");
  EXPECT_TRUE(harness.host().isFullscreen());
  send(R"({"type":"set-fullscreen"})");
  EXPECT_FALSE(harness.host().isFullscreen());
}

TEST(MessageChannelSource, BareRemoteOriginAcceptsOnlyThatOrigin) {
  MessageChannel channel("https://game.example.com");
  int handled = 0;
  channel.addHandler("ping", [&](const nlohmann::json&, const std::string&) { ++handled; });
  for (const char* source : {"https://game.example.com.evil.net/", "https://game.example.com:8443/",
                             "http://game.example.com/", "https://game.example.com/play/"}) {
    channel.OnWebMessageReceived(
        webview::WebMessageReceivedEventArgs(source, std::string(R"({"type":"ping"})")));
  }
  EXPECT_EQ(handled, 1);
}

}  // namespace
}  // namespace tavrelle
