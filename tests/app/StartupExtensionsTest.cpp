#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/Startup.h"
#include "support/BundleBuilder.h"
#include "support/FakeKeelbridge.h"
#include "support/FakeStartupPorts.h"

namespace tavrelle {
namespace {

using test::BundleBuilder;
using test::FakeStartupPorts;

constexpr const char* kPackage = R"({"name":"game"})";
const std::string kExtensionFolder = "/home/player/.local/share/game/zxext/";
constexpr const char* kUnpackFailed = "Error reading extensions asset bundle";

class StartupExtensionsTest : public ::testing::Test {
 protected:
  StartupExtensionsTest() { fake.libraryLoader = bridge.loader(); }

  // Runs a single-file game: the configuration and the extension files from resources.
  int runPacked(const std::optional<std::string>& extensions) {
    fake.addResource("PackageJson", kPackage);
    if (extensions) fake.addResource("Extensions", *extensions);
    return Startup(fake.ports()).run();
  }
  void closeWhileRunning() {
    fake.loop.whileRunning = [this] {
      fake.runtime.completeCreation();
      fake.window()->deliver({.kind = WindowEvent::Kind::Destroy});
    };
  }

  FakeStartupPorts fake;
  test::FakeKeelbridge bridge{fake.log};
};

// What is unpacked and loaded is proven end to end; here the order at shutdown.
TEST_F(StartupExtensionsTest, LibraryIsReleasedAndUnloadedBeforeTheWebViewGoes) {
  closeWhileRunning();
  EXPECT_EQ(runPacked(BundleBuilder().addFile("Keelbridge.so", "ELF").build()), 0);
  EXPECT_LT(fake.log->indexOf("Release"), fake.log->indexOf("unload"));
  EXPECT_LT(fake.log->indexOf("unload"), fake.log->indexOf("webView.destroyed"));
}

TEST_F(StartupExtensionsTest, SingleFileGameWithoutExtensionsStillEmptiesTheFolder) {
  fake.writtenFiles[kExtensionFolder + "old/Keelbridge.so"] = "stale";
  closeWhileRunning();
  EXPECT_EQ(runPacked(std::nullopt), 0);
  EXPECT_TRUE(fake.writtenFiles.empty());
  EXPECT_TRUE(fake.log->contains("load:" + kExtensionFolder + "Keelbridge.so"));
}

// Which names climb out of the folder is ExtensionEntryNames' below; any of them, a
// damaged bundle or a failed write stops start-up before the library or the window.
TEST(StartupExtensionBundles, BadOnesEndStartupWithTheMessage) {
  const std::string bundles[] = {
      BundleBuilder().addFile("a-first.txt", "1").addFile("../Keelbridge.so", "x").build(),
      "zxab but not a bundle", BundleBuilder().addFile("Keelbridge.so", "ELF").build()};
  for (const std::string& bundle : bundles) {
    FakeStartupPorts ports;
    test::FakeKeelbridge bridge{ports.log};
    ports.libraryLoader = bridge.loader();
    ports.failWrites = &bundle == &bundles[2];
    ports.addResource("PackageJson", kPackage);
    ports.addResource("Extensions", bundle);
    EXPECT_EQ(Startup(ports.ports()).run(), 1);
    ASSERT_EQ(ports.messageBoxes.size(), 1u);
    EXPECT_EQ(ports.messageBoxes[0].text, kUnpackFailed);
    EXPECT_TRUE(ports.writtenFiles.empty());
    EXPECT_FALSE(ports.log->contains("load:" + kExtensionFolder + "Keelbridge.so"));
    EXPECT_FALSE(ports.log->contains("windowSystem.createMainWindow"));
  }
}

TEST(ExtensionEntryNames, OnlyNamesThatStayInsideTheFolderAreSafe) {
  for (const char* name : {"Keelbridge.so", "a/b/c.dll", "..a", "a..", "a/..b/c", ".hidden"}) {
    EXPECT_TRUE(IsSafeEntryName(name)) << name;
  }
  for (const std::string& name :
       std::vector<std::string>{"", "/", "/etc/passwd", "..", "../x", "a/..", "a/../b", "a//b",
                                "./a", "a/./b", "a/", std::string("a\0b", 3)}) {
    EXPECT_FALSE(IsSafeEntryName(name)) << name;
  }
}

}  // namespace
}  // namespace tavrelle
