#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extensions/ExtensionManager.h"
#include "support/FakeKeelbridge.h"
#include "support/WebViewHostHarness.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {
namespace {

using ::testing::ElementsAre;
using Posts = std::vector<std::string>;

const ExtensionFolders kFolders{"/opt/game/", "www/", "/home/player/.local/share/game",
                                "/home/player/.local/share/game/zxext/"};

class ExtensionLibraryTest : public ::testing::Test {
 protected:
  test::FakeKeelbridge bridge;  // outlives the manager, which calls "Release" when destroyed
  ExtensionManager manager{kFolders, R"({"name":"game"})"};
};

TEST_F(ExtensionLibraryTest, LoadsFromTheExtensionFolderAndInitGetsTheFoldersAndItself) {
  manager.loadLibrary(bridge.loader());
  EXPECT_THAT(bridge.log->entries(),
              ElementsAre("load:/home/player/.local/share/game/zxext/Keelbridge.so", "Init"));
  EXPECT_EQ(bridge.initArguments.back(), kFolders.extensionFolder);
  EXPECT_EQ(bridge.app, static_cast<IWrapperApp*>(&manager));
  EXPECT_STREQ(bridge.app->GetPackageJson(), R"({"name":"game"})");
  // The ids are copies: the library may reuse its array afterwards.
  bridge.componentIds = {"other"};
  EXPECT_THAT(manager.registeredComponentIds(), ElementsAre("echo", "folders"));
}

TEST_F(ExtensionLibraryTest, WithoutInitOrWithNothingFromItThereAreNoComponentIds) {
  using Arrange = void (*)(test::FakeKeelbridge&);
  for (const Arrange arrange : {+[](test::FakeKeelbridge& b) { b.initReturnsNull = true; },
                                +[](test::FakeKeelbridge& b) { b.initThrows = true; },
                                +[](test::FakeKeelbridge& b) { b.loads = false; }}) {
    test::FakeKeelbridge fake;
    arrange(fake);
    ExtensionManager subject(kFolders, "{}");
    subject.loadLibrary(fake.loader());
    EXPECT_TRUE(subject.registeredComponentIds().empty());
    EXPECT_EQ(subject.hasLibrary(), fake.loads);
    if (fake.loads) continue;
    subject.notifyMainWindowCreated(7);
    subject.forwardExtensionMessage(R"({"type":"extension-message"})");
    subject.shutDown();
    EXPECT_EQ(fake.log->entries().size(), 1u);  // only the attempt to load
  }
}

// Init needs all four exports; the others are still called at their moments.
TEST_F(ExtensionLibraryTest, AMissingExportSkipsInitButNotTheOthers) {
  for (const std::string missing :
       {"Init", "Release", "OnMainWindowCreated", "OnExtensionMessage"}) {
    test::FakeKeelbridge fake;
    fake.exports.erase(missing);
    {
      ExtensionManager subject(kFolders, "{}");
      subject.loadLibrary(fake.loader());
      subject.notifyMainWindowCreated(0x2a00007);
      subject.forwardExtensionMessage(R"({"type":"extension-message"})");
      subject.shutDown();
      EXPECT_TRUE(subject.registeredComponentIds().empty()) << missing;
    }
    std::vector<std::string> expected{"load:" + kFolders.extensionFolder + "Keelbridge.so",
                                      "OnMainWindowCreated:44040199", "OnExtensionMessage",
                                      "Release", "unload"};
    std::erase_if(expected, [&](const std::string& call) { return call.starts_with(missing); });
    EXPECT_EQ(fake.log->entries(), expected) << missing;
  }
}

TEST_F(ExtensionLibraryTest, ReleaseComesBeforeUnloadingAndOnlyOnceOrOnDestruction) {
  manager.loadLibrary(bridge.loader());
  manager.shutDown();
  manager.shutDown();
  manager.forwardExtensionMessage(R"({"type":"extension-message"})");
  EXPECT_FALSE(manager.hasLibrary());
  {
    ExtensionManager subject(kFolders, "{}");
    subject.loadLibrary(bridge.loader());
  }
  EXPECT_THAT(bridge.log->entries(),
              ElementsAre(::testing::StartsWith("load:"), "Init", "Release", "unload",
                          ::testing::StartsWith("load:"), "Init", "Release", "unload"));
}

// The library together with the web view host, as start-up wires them.
constexpr const char* kHandles = R"({"type":"directory-handles"})";
constexpr const char* kAnswer =
    R"({"registeredComponentIds":["echo","folders"],"type":"wrapper-init-response"})";

class ExtensionPageTest : public ::testing::Test {
 protected:
  void pageStarts() { harness.host().HandleWebMessage(R"({"type":"wrapper-init"})"); }

  test::FakeKeelbridge bridge;
  test::WebViewHostHarness harness;
};

TEST_F(ExtensionPageTest, MessagesPostedDuringInitFollowTheAnswerInOrderAndAreNotReplayed) {
  bridge.postDuringInit = {R"({"type":"extension-message","n":1})",
                           R"({"type":"extension-message","n":2})"};
  harness.extensions.loadLibrary(bridge.loader());
  harness.createAndComplete();
  harness.host().LogToConsole("host line", "normal");
  EXPECT_TRUE(harness.posted().empty());
  pageStarts();
  bridge.app->PostMessageToPage(R"({"type":"extension-message","n":3})");
  pageStarts();
  EXPECT_EQ(harness.posted(),
            (Posts{kHandles, kAnswer, R"({"type":"extension-message","n":1})",
                   R"({"type":"extension-message","n":2})",
                   R"({"logType":"normal","message":"host line","type":"log-to-console"})",
                   R"({"type":"extension-message","n":3})", kHandles, kAnswer}));
}

TEST_F(ExtensionPageTest, OnlyExtensionMessagesReachTheLibraryAsThePagePostedThem) {
  harness.extensions.loadLibrary(bridge.loader());
  harness.createAndComplete();
  const std::string text = R"({"payload":{"b":1,"a":[true,null]},"type":"extension-message"})";
  harness.host().HandleWebMessage(text);
  harness.host().HandleWebMessage(R"({"type":"extension-messages"})");
  EXPECT_THAT(bridge.messages, ElementsAre(text));
}

TEST_F(ExtensionPageTest, AThrowingLibraryLeavesTheChannelWorking) {
  bridge.messageThrows = true;
  harness.extensions.loadLibrary(bridge.loader());
  harness.createAndComplete();
  harness.host().HandleWebMessage(R"({"type":"extension-message"})");
  pageStarts();
  EXPECT_EQ(bridge.messages.size(), 1u);
  EXPECT_EQ(harness.posted(), (Posts{kHandles, kAnswer}));
}

TEST_F(ExtensionPageTest, FolderQueriesAnswerFromTheHandshakesTable) {
  harness.extensions.loadLibrary(bridge.loader());
  EXPECT_STREQ(bridge.app->GetFolderPath("<profile>"), "");  // no web view host yet
  harness.createAndComplete();
  EXPECT_STREQ(bridge.app->GetFolderPath("<profile>"), "");  // no handshake yet
  EXPECT_STREQ(bridge.app->GetFolderPath(nullptr), "");
  pageStarts();
  ASSERT_TRUE(harness.host().folderTable().contains("<profile>"));  // the home folder
  EXPECT_EQ(bridge.app->GetFolderPath("<profile>"), harness.host().folderTable().at("<profile>"));
  EXPECT_STREQ(bridge.app->GetFolderPath("<no-such-folder>"), "");
}

}  // namespace
}  // namespace tavrelle
