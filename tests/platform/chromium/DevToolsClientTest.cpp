// The DevTools client over a fake transport: ids, replies, errors, events, sessions.

#include <gtest/gtest.h>

#include "platform/chromium/DevToolsClient.h"

namespace tavrelle::chromium {
namespace {

class FakeTransport final : public DevToolsTransport {
 public:
  void setListener(Listener* listener) override { listener_ = listener; }
  void send(OutgoingMessage message) override {
    sentIds.push_back(message.id);
    sent.push_back(Json::parse(message.produce()));
  }
  void receive(const Json& message) { listener_->onMessageReceived(message); }
  void reject(uint64_t id) { listener_->onMessageRejected(id, "too large"); }
  void close() { listener_->onTransportClosed("gone"); }

  std::vector<Json> sent;
  std::vector<uint64_t> sentIds;

 private:
  Listener* listener_ = nullptr;
};

class DevToolsClientTest : public ::testing::Test {
 protected:
  FakeTransport transport_;
  DevToolsClient client_{transport_};
};

// ----- Commands and replies -----

TEST_F(DevToolsClientTest, CommandsGetIncreasingIdsAndCarryMethodParamsAndSession) {
  auto first = client_.send("Page.enable", {});
  auto second = client_.send("Page.navigate", {{"url", "https://a.localhost/"}});
  EXPECT_LT(first, second);
  ASSERT_EQ(transport_.sent.size(), 2u);
  EXPECT_EQ(transport_.sent[1], (Json{{"id", second},
                                      {"method", "Page.navigate"},
                                      {"params", {{"url", "https://a.localhost/"}}}}));
  EXPECT_EQ(transport_.sent[0]["params"], Json::object());
  EXPECT_EQ(transport_.sentIds[1], second);
  client_.send("Runtime.enable", {}, "S1");
  EXPECT_EQ(transport_.sent[2]["sessionId"], "S1");
}

TEST_F(DevToolsClientTest, RepliesReachTheirOwnHandlerWhateverTheOrder) {
  std::vector<std::string> got;
  auto a = client_.send("A", {}, {},
                        [&](const DevToolsReply& r) { got.push_back("a" + r.result.dump()); });
  auto b = client_.send("B", {}, {},
                        [&](const DevToolsReply& r) { got.push_back("b" + r.result.dump()); });
  transport_.receive({{"id", b}, {"result", {{"v", 2}}}});
  transport_.receive({{"id", a}, {"result", {{"v", 1}}}});
  EXPECT_EQ(got, (std::vector<std::string>{"b{\"v\":2}", "a{\"v\":1}"}));
  EXPECT_EQ(client_.pendingReplyCount(), 0u);
}

// An error reply, and a command the transport refused to send, both fail the command.
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
  EXPECT_EQ(replies[1].errorCode, 0);
  EXPECT_EQ(replies[1].errorMessage, "too large");
}

TEST_F(DevToolsClientTest, ReplyToUnknownOrRepeatedIdIsIgnored) {
  int calls = 0;
  auto id = client_.send("A", {}, {}, [&](const DevToolsReply&) { ++calls; });
  transport_.receive({{"id", id + 100}, {"result", Json::object()}});
  transport_.receive({{"id", id}, {"result", Json::object()}});
  transport_.receive({{"id", id}, {"result", Json::object()}});
  EXPECT_EQ(calls, 1);
}

TEST_F(DevToolsClientTest, WrittenParamsAreSplicedIntoTheMessage) {
  client_.sendWritten("Fetch.fulfillRequest", "S",
                      [](std::string& out) { out += R"({"body":"QUJD"})"; });
  EXPECT_EQ(transport_.sent[0]["params"]["body"], "QUJD");
  EXPECT_EQ(transport_.sent[0]["sessionId"], "S");
}

TEST_F(DevToolsClientTest, InvalidUtf8InParamsIsReplacedNotThrown) {
  EXPECT_NO_THROW(client_.send("Runtime.evaluate", {{"expression", std::string("\xff\xfe")}}));
  EXPECT_EQ(transport_.sent.size(), 1u);
}

// ----- Events and sessions -----

TEST_F(DevToolsClientTest, EventsReachEveryHandlerOfTheirMethodWithTheSession) {
  std::vector<std::string> got;
  client_.on("Runtime.bindingCalled", [&](const Json& p, const std::string& s) {
    got.push_back("1" + s + p["payload"].get<std::string>());
  });
  client_.on("Runtime.bindingCalled",
             [&](const Json&, const std::string& s) { got.push_back("2" + s); });
  client_.on("Other", [&](const Json&, const std::string&) { got.push_back("other"); });
  transport_.receive(
      {{"method", "Runtime.bindingCalled"}, {"params", {{"payload", "x"}}}, {"sessionId", "S9"}});
  EXPECT_EQ(got, (std::vector<std::string>{"1S9x", "2S9"}));
}

TEST_F(DevToolsClientTest, EventWithoutParamsOrSessionHasEmptyOnes) {
  std::optional<std::pair<Json, std::string>> got;
  client_.on("Page.domContentEventFired",
             [&](const Json& p, const std::string& s) { got.emplace(p, s); });
  transport_.receive({{"method", "Page.domContentEventFired"}});
  ASSERT_TRUE(got);
  EXPECT_EQ(got->first, Json::object());
  EXPECT_EQ(got->second, "");
}

TEST_F(DevToolsClientTest, EventBeforeTheReplyOfItsCommandIsSeenFirst) {
  std::vector<std::string> order;
  client_.on("Target.attachedToTarget", [&](const Json& p, const std::string&) {
    order.push_back("event " + p["sessionId"].get<std::string>());
  });
  auto id = client_.send("Target.attachToTarget", {{"targetId", "T"}, {"flatten", true}}, {},
                         [&](const DevToolsReply& r) {
                           order.push_back("reply " + r.result["sessionId"].get<std::string>());
                         });
  transport_.receive({{"method", "Target.attachedToTarget"}, {"params", {{"sessionId", "S"}}}});
  transport_.receive({{"id", id}, {"result", {{"sessionId", "S"}}}});
  EXPECT_EQ(order, (std::vector<std::string>{"event S", "reply S"}));
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

// ----- Closing -----

TEST_F(DevToolsClientTest, ClosingFailsPendingCommandsThenReportsOnce) {
  std::vector<std::string> order;
  client_.send("A", {}, {},
               [&](const DevToolsReply& r) { order.push_back(r.ok ? "ok" : "failed"); });
  client_.onClosed([&](const std::string& reason) { order.push_back("closed " + reason); });
  transport_.close();
  transport_.close();
  EXPECT_EQ(order, (std::vector<std::string>{"failed", "closed gone"}));
  EXPECT_TRUE(client_.closed());
}

TEST_F(DevToolsClientTest, NothingIsSentOrDeliveredAfterClosing) {
  int events = 0;
  client_.on("E", [&](const Json&, const std::string&) { ++events; });
  transport_.close();
  client_.send("A", {});
  transport_.receive({{"method", "E"}});
  EXPECT_TRUE(transport_.sent.empty());
  EXPECT_EQ(events, 0);
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
