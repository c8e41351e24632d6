#include "platform/chromium/PageSessions.h"

#include <gtest/gtest.h>

#include "support/FakeDevToolsTransport.h"

namespace tavrelle::chromium {
namespace {

constexpr const char* kAddScript = "Page.addScriptToEvaluateOnNewDocument";
constexpr const char* kRemoveScript = "Page.removeScriptToEvaluateOnNewDocument";

class PageSessionsTest : public ::testing::Test {
 protected:
  // Every command of the page's preparation answered except the script's registration.
  void answerPreparationButTheScript() {
    for (const char* method :
         {"Runtime.addBinding", "Page.enable", "Runtime.enable", "Target.setAutoAttach"}) {
      transport_.answer(method);
    }
  }
  [[nodiscard]] const Json& lastSent() const { return transport_.sent.back(); }

  test::FakeDevToolsTransport transport_;
  DevToolsClient client_{transport_};
  PageSessions sessions_{client_, "T", "S", {}};
};

// The host's settings may change the page script while the page's renderer is still
// starting: the first registration is then answered after the change and must not stay.
TEST_F(PageSessionsTest, ScriptChangedBeforeItsRegistrationIsAnsweredKeepsOnlyTheNewOne) {
  bool prepared = false;
  sessions_.setUp("old script", [&](const DevToolsReply& reply) { prepared = reply.ok; });
  sessions_.setScriptSource("new script");
  bool settled = false;
  sessions_.whenSettled([&] { settled = true; });

  answerPreparationButTheScript();
  transport_.answer(kAddScript, {{"identifier", "1"}});
  EXPECT_TRUE(prepared);
  EXPECT_EQ(lastSent()["method"], kRemoveScript);
  EXPECT_EQ(lastSent()["params"]["identifier"], "1");
  transport_.answer(kAddScript, {{"identifier", "2"}});
  EXPECT_FALSE(settled) << "the stale script's removal is not answered yet";
  transport_.answer(kRemoveScript);
  EXPECT_TRUE(settled);

  // The next change takes away the script in force, and only that.
  sessions_.setScriptSource("newer script");
  auto removals = 0;
  for (const auto& message : transport_.sent) removals += message["method"] == kRemoveScript;
  EXPECT_EQ(removals, 2);
  EXPECT_EQ(transport_.sent[transport_.sent.size() - 2]["params"]["identifier"], "2");
  EXPECT_EQ(lastSent()["params"]["source"], "newer script");
  settled = false;
  sessions_.whenSettled([&] { settled = true; });
  transport_.answer(kRemoveScript);
  EXPECT_FALSE(settled);
  transport_.answer(kAddScript, {{"identifier", "3"}});
  EXPECT_TRUE(settled);
}

TEST_F(PageSessionsTest, SwitchingScriptsOffHoldsTheNextDocumentUntilAnswered) {
  sessions_.setUp("script", [](const DevToolsReply&) {});
  answerPreparationButTheScript();
  transport_.answer(kAddScript, {{"identifier", "1"}});
  int settled = 0;
  sessions_.whenSettled([&] { ++settled; });
  EXPECT_EQ(settled, 1);
  sessions_.setScriptEnabled(false);
  sessions_.whenSettled([&] { ++settled; });
  EXPECT_EQ(settled, 1);
  EXPECT_EQ(lastSent()["params"]["value"], true);
  transport_.answer("Emulation.setScriptExecutionDisabled");
  EXPECT_EQ(settled, 2);
}

}  // namespace
}  // namespace tavrelle::chromium
