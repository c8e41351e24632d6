#include <gtest/gtest.h>

#include "extensions/ExtensionManager.h"
#include "messaging/HostMessages.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using test::WebViewHostHarness;

constexpr const char* kInitResponse =
    R"({"registeredComponentIds":[],"type":"wrapper-init-response"})";

class HandshakeTest : public ::testing::Test {
 protected:
  void SetUp() override { harness.createAndComplete(); }
  void pageStarts() { harness.host().HandleWebMessage(R"({"type":"wrapper-init"})"); }
  ExtensionManager& extensions() { return harness.extensions; }

  WebViewHostHarness harness;
};

TEST_F(HandshakeTest, AnswerCarriesAnEmptyComponentListWithoutExtensions) {
  pageStarts();
  EXPECT_EQ(harness.posted(), std::vector<std::string>{kInitResponse});
  EXPECT_TRUE(extensions().isPageReady());
}

TEST_F(HandshakeTest, QueuedMessagesFollowTheAnswerInTheirOrder) {
  extensions().PostMessageToPage(R"({"type":"ext-a"})");
  harness.host().LogToConsole("loading", "normal");
  extensions().PostMessageToPage(R"({"type":"ext-b"})");
  EXPECT_TRUE(harness.posted().empty());

  pageStarts();

  EXPECT_EQ(harness.posted(),
            (std::vector<std::string>{
                kInitResponse, R"({"type":"ext-a"})",
                R"({"logType":"normal","message":"loading","type":"log-to-console"})",
                R"({"type":"ext-b"})"}));
  EXPECT_TRUE(extensions().pendingMessages().empty());
}

TEST_F(HandshakeTest, MessagesAfterTheHandshakeArePostedAtOnce) {
  pageStarts();
  extensions().PostMessageToPage(R"({"type":"ext-c"})");
  EXPECT_EQ(harness.posted().back(), R"({"type":"ext-c"})");
}

TEST_F(HandshakeTest, SecondHandshakeRepeatsTheAnswerButNoQueuedMessage) {
  extensions().PostMessageToPage(R"({"type":"ext-a"})");
  pageStarts();
  pageStarts();
  EXPECT_EQ(harness.posted(),
            (std::vector<std::string>{kInitResponse, R"({"type":"ext-a"})", kInitResponse}));
}

TEST_F(HandshakeTest, AfterAReloadMessagesStillGoOutBeforeTheNewHandshake) {
  pageStarts();
  harness.webView().fireDOMContentLoaded();
  harness.host().LogToConsole("again", "error");
  EXPECT_EQ(harness.posted().back(),
            R"({"logType":"error","message":"again","type":"log-to-console"})");
}

TEST_F(HandshakeTest, WindowNoticesBypassTheQueue) {
  harness.host().SetFullscreen(true);
  EXPECT_EQ(harness.posted(),
            std::vector<std::string>{R"({"isFullscreen":true,"type":"fullscreen-change"})"});
  EXPECT_FALSE(extensions().isPageReady());
}

TEST(HostMessagesTest, CompactSortedAndUnescaped) {
  EXPECT_EQ(host_messages::WrapperInitResponse({"b-comp", "a-comp"}),
            R"({"registeredComponentIds":["b-comp","a-comp"],"type":"wrapper-init-response"})");
  EXPECT_EQ(host_messages::LogToConsole("Grüße \"x\"\n", "normal"),
            R"({"logType":"normal","message":"Grüße \"x\"\n","type":"log-to-console"})");
  EXPECT_EQ(host_messages::WindowMaximized(), R"({"type":"window-maximized"})");
  EXPECT_EQ(host_messages::WindowMinimized(), R"({"type":"window-minimized"})");
  EXPECT_EQ(host_messages::FullscreenChange(false),
            R"({"isFullscreen":false,"type":"fullscreen-change"})");
}

TEST(HostMessagesTest, BytesThatAreNotUtf8AreReplacedNotThrown) {
  EXPECT_EQ(host_messages::LogToConsole("a\xff", "error"),
            "{\"logType\":\"error\",\"message\":\"a\xEF\xBF\xBD\",\"type\":\"log-to-console\"}");
}

TEST(ExtensionManagerTest, FolderPathsAndPackageText) {
  ExtensionManager manager({"/opt/game/", "www/", "/data/game", "/opt/game/"}, R"({"name":"g"})");
  EXPECT_STREQ(manager.GetPackageJson(), R"({"name":"g"})");
  EXPECT_STREQ(manager.GetFolderPath("<documents>"), "");
  EXPECT_TRUE(manager.registeredComponentIds().empty());
  manager.PostMessageToPage(R"({"type":"early"})");
  EXPECT_EQ(manager.pendingMessages(), std::vector<std::string>{R"({"type":"early"})"});
}

}  // namespace
}  // namespace tavrelle
