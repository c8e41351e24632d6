#include <gtest/gtest.h>

#include "platform/chromium/DevToolsClient.h"
#include "support/FakeDevToolsTransport.h"

namespace tavrelle::chromium {
namespace {

using FakeTransport = test::FakeDevToolsTransport;

class DevToolsClientTest : public ::testing::Test {
 protected:
  FakeTransport transport_;
  DevToolsClient client_{transport_};
};

TEST_F(DevToolsClientTest, CommandsGetIncreasingIdsAndCarryMethodParamsAndSession) {
  auto first = client_.send("Page.enable", {});
  auto second = client_.send("Page.navigate", {{"url", "https://a.localhost/"}});
  EXPECT_LT(first, second);
  ASSERT_EQ(transport_.sent.size(), 2u);
  EXPECT_EQ(transport_.sent[1], (Json{{"id", second},
                                      {"method", "Page.navigate"},
                                      {"params", {{"url", "https://a.localhost/"}}}}));
  EXPECT_EQ(transport_.sent[0]["params"], Json::object());
  client_.send("Runtime.enable", {}, "S1");
  EXPECT_EQ(transport_.sent[2]["sessionId"], "S1");
  client_.sendWritten("Fetch.fulfillRequest", "S",
                      [](std::string& out) { out += R"({"body":"QUJD"})"; });
  EXPECT_EQ(transport_.sent[3]["params"]["body"], "QUJD");
  EXPECT_EQ(transport_.sent[3]["sessionId"], "S");
  EXPECT_NO_THROW(client_.send("Runtime.evaluate", {{"expression", std::string("\xff\xfe")}}));
  EXPECT_EQ(transport_.sent.size(), 5u);
}

// Each reply reaches its own handler once; unknown and repeated ids are ignored.
TEST_F(DevToolsClientTest, RepliesReachTheirOwnHandlerOnceWhateverTheOrder) {
  std::vector<std::string> got;
  auto a = client_.send("A", {}, {},
                        [&](const DevToolsReply& r) { got.push_back("a" + r.result.dump()); });
  auto b = client_.send("B", {}, {},
                        [&](const DevToolsReply& r) { got.push_back("b" + r.result.dump()); });
  transport_.receive({{"id", b + 100}, {"result", {{"v", 3}}}});
  transport_.receive({{"id", b}, {"result", {{"v", 2}}}});
  transport_.receive({{"id", a}, {"result", {{"v", 1}}}});
  transport_.receive({{"id", a}, {"result", {{"v", 1}}}});
  EXPECT_EQ(got, (std::vector<std::string>{"b{\"v\":2}", "a{\"v\":1}"}));
  EXPECT_EQ(client_.pendingReplyCount(), 0u);
}

TEST_F(DevToolsClientTest, ErrorRepliesAndRejectedMessagesFailTheirCommand) {
  std::vector<DevToolsReply> replies;
  auto keep = [&](const DevToolsReply& r) { replies.push_back(r); };
  auto answered = client_.send("Fetch.fulfillRequest", {}, {}, keep);
  auto rejected = client_.send("Fetch.fulfillRequest", {}, {}, keep);
  transport_.receive(
      {{"id", answered}, {"error", {{"code", -32602}, {"message", "Invalid InterceptionId."}}}});
  transport_.reject(rejected);
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_FALSE(replies[0].ok);
  EXPECT_EQ(replies[0].errorCode, -32602);
  EXPECT_EQ(replies[0].errorMessage, "Invalid InterceptionId.");
  EXPECT_FALSE(replies[1].ok);
  EXPECT_EQ(replies[1].errorMessage, "too large");
}

TEST_F(DevToolsClientTest, EventsReachEveryHandlerOfTheirMethodWithTheSession) {
  std::vector<std::string> got;
  client_.on("Runtime.bindingCalled", [&](const Json& p, const std::string& s) {
    got.push_back("1" + s + p.value("payload", "-"));
  });
  client_.on("Runtime.bindingCalled",
             [&](const Json&, const std::string& s) { got.push_back("2" + s); });
  client_.on("Other", [&](const Json&, const std::string&) { got.push_back("other"); });
  transport_.receive(
      {{"method", "Runtime.bindingCalled"}, {"params", {{"payload", "x"}}}, {"sessionId", "S9"}});
  transport_.receive({{"method", "Runtime.bindingCalled"}});  // no params, no session
  EXPECT_EQ(got, (std::vector<std::string>{"1S9x", "2S9", "1-", "2"}));
}

TEST_F(DevToolsClientTest, HandlerRegisteredByAHandlerSeesOnlyLaterEvents) {
  int inner = 0;
  client_.on("E", [&](const Json&, const std::string&) {
    client_.on("E", [&](const Json&, const std::string&) { ++inner; });
  });
  transport_.receive({{"method", "E"}});
  EXPECT_EQ(inner, 0);
  transport_.receive({{"method", "E"}});
  EXPECT_EQ(inner, 1);
}

// Pending commands fail, the close is reported once, and nothing passes afterwards.
TEST_F(DevToolsClientTest, ClosingFailsPendingCommandsThenReportsOnce) {
  std::vector<std::string> order;
  client_.send("A", {}, {},
               [&](const DevToolsReply& r) { order.push_back(r.ok ? "ok" : "failed"); });
  client_.onClosed([&](const std::string& reason) { order.push_back("closed " + reason); });
  client_.on("E", [&](const Json&, const std::string&) { order.push_back("event"); });
  transport_.close();
  transport_.close();
  client_.send("B", {});
  transport_.receive({{"method", "E"}});
  EXPECT_EQ(order, (std::vector<std::string>{"failed", "closed gone"}));
  EXPECT_TRUE(client_.closed());
  EXPECT_EQ(transport_.sent.size(), 1u);
}

TEST(DevToolsClientLifetimeTest, HandlerMayDestroyTheClient) {
  FakeTransport transport;
  auto client = std::make_unique<DevToolsClient>(transport);
  int later = 0;
  client->on("E", [&](const Json&, const std::string&) { client.reset(); });
  client->on("E", [&](const Json&, const std::string&) { ++later; });
  transport.receive({{"method", "E"}});
  EXPECT_EQ(client, nullptr);
  EXPECT_EQ(later, 0);
}

}  // namespace
}  // namespace tavrelle::chromium
