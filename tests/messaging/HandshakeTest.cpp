#include <gtest/gtest.h>

#include "extensions/ExtensionManager.h"
#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using Posts = std::vector<std::string>;

constexpr const char* kInitResponse =
    R"({"registeredComponentIds":[],"type":"wrapper-init-response"})";
constexpr const char* kExtA = R"({"type":"ext-a"})";
constexpr const char* kHandles = R"({"type":"directory-handles"})";

class HandshakeTest : public ::testing::Test {
 protected:
  void SetUp() override { harness.createAndComplete(); }
  void pageStarts() { harness.host().HandleWebMessage(R"({"type":"wrapper-init"})"); }
  ExtensionManager& extensions() { return harness.extensions; }
  MessageChannel& channel() { return harness.host().messageChannel(); }

  test::WebViewHostHarness harness;
};

TEST_F(HandshakeTest, QueuedMessagesFollowTheAnswerInOrderThenGoOutAtOnce) {
  extensions().PostMessageToPage(kExtA);
  harness.host().LogToConsole("loading", "normal");
  EXPECT_TRUE(harness.posted().empty());
  EXPECT_FALSE(channel().isPageReady());
  pageStarts();
  EXPECT_TRUE(channel().isPageReady());
  EXPECT_TRUE(channel().pendingMessages().empty());
  extensions().PostMessageToPage(R"({"type":"ext-c"})");
  EXPECT_EQ(harness.posted(),
            (Posts{kHandles, kInitResponse, kExtA,
                   R"({"logType":"normal","message":"loading","type":"log-to-console"})",
                   R"({"type":"ext-c"})"}));
}

TEST_F(HandshakeTest, SecondHandshakeRepeatsTheAnswerButNoQueuedMessage) {
  extensions().PostMessageToPage(kExtA);
  pageStarts();
  pageStarts();
  EXPECT_EQ(harness.posted(), (Posts{kHandles, kInitResponse, kExtA, kHandles, kInitResponse}));
  // Thirteen slots each time; the game folder of the harness does not exist.
  ASSERT_EQ(harness.webView().postedHandles.size(), 2u);
  EXPECT_EQ(harness.webView().postedHandles.back().size(), 13u);
  EXPECT_FALSE(harness.webView().postedHandles.back().front());
  EXPECT_STREQ(extensions().GetFolderPath("<app>"), "");
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
  EXPECT_EQ(harness.posted(), Posts{R"({"isFullscreen":true,"type":"fullscreen-change"})"});
  EXPECT_FALSE(channel().isPageReady());
}

TEST(HostMessagesTest, CompactSortedAndUnescapedWithBadBytesReplaced) {
  EXPECT_EQ(host_messages::WrapperInitResponse({"b-comp", "a-comp"}),
            R"({"registeredComponentIds":["b-comp","a-comp"],"type":"wrapper-init-response"})");
  EXPECT_EQ(host_messages::LogToConsole("Grüße \"x\"\n", "normal"),
            R"({"logType":"normal","message":"Grüße \"x\"\n","type":"log-to-console"})");
  EXPECT_EQ(host_messages::LogToConsole("a\xff", "error"),
            "{\"logType\":\"error\",\"message\":\"a\xEF\xBF\xBD\",\"type\":\"log-to-console\"}");
}

}  // namespace
}  // namespace tavrelle
