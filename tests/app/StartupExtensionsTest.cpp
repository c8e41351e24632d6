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
constexpr const char* kExtensionFolder = "/home/player/.local/share/game/zxext/";
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

TEST_F(StartupExtensionsTest, SingleFileGameUnpacksThenLoadsFromTheAppDataFolder) {
  fake.writtenFiles[std::string(kExtensionFolder) + "stale.txt"] = "from an earlier run";
  const std::string packed = BundleBuilder()
                                 .addFile("Keelbridge.so", "ELF")
                                 .addFile("ext/steam/config.json", "{}")
                                 .build();
  closeWhileRunning();
  EXPECT_EQ(runPacked(packed), 0);
  EXPECT_EQ(fake.writtenFiles,
            (std::map<std::string, std::string>{
                {std::string(kExtensionFolder) + "Keelbridge.so", "ELF"},
                {std::string(kExtensionFolder) + "ext/steam/config.json", "{}"}}));
  const test::CallLog& log = *fake.log;
  EXPECT_LT(log.indexOf(std::string("recreateFolder:") + kExtensionFolder),
            log.indexOf(std::string("load:") + kExtensionFolder + "Keelbridge.so"));
  EXPECT_LT(log.indexOf("Init"), log.indexOf("windowSystem.createMainWindow"));
  EXPECT_LT(
      log.indexOf("windowSystem.createMainWindow"),
      log.indexOf("OnMainWindowCreated:" + std::to_string(test::FakeMainWindow::kNativeHandle)));
  EXPECT_LT(log.indexOf("Release"), log.indexOf("unload"));
  EXPECT_LT(log.indexOf("unload"), log.indexOf("webView.destroyed"));
  EXPECT_NE(log.indexOf("webView.destroyed"), -1);
}

TEST_F(StartupExtensionsTest, SingleFileGameWithoutExtensionsStillEmptiesTheFolder) {
  fake.writtenFiles[std::string(kExtensionFolder) + "old/Keelbridge.so"] = "stale";
  closeWhileRunning();
  EXPECT_EQ(runPacked(std::nullopt), 0);
  EXPECT_TRUE(fake.writtenFiles.empty());
  EXPECT_TRUE(fake.log->contains(std::string("recreateFolder:") + kExtensionFolder));
  EXPECT_TRUE(fake.log->contains(std::string("load:") + kExtensionFolder + "Keelbridge.so"));
}

TEST_F(StartupExtensionsTest, LooseGameLoadsBesideTheExecutableAndUnpacksNothing) {
  fake.addFile("package.json", kPackage);
  closeWhileRunning();
  EXPECT_EQ(Startup(fake.ports()).run(), 0);
  EXPECT_TRUE(fake.log->contains("load:/opt/game/Keelbridge.so"));
  EXPECT_FALSE(fake.log->contains(std::string("recreateFolder:") + kExtensionFolder));
  EXPECT_TRUE(fake.log->contains("Release"));
}

// A name that would climb out of the folder stops start-up before any file is written.
TEST_F(StartupExtensionsTest, BadExtensionBundlesEndStartupWithTheMessage) {
  const std::string hostileNames[] = {"../Keelbridge.so", "/tmp/Keelbridge.so", "ext/../../escape",
                                      std::string("ext\0.so", 7), ".."};
  for (const std::string& name : hostileNames) {
    FakeStartupPorts ports;
    ports.addResource("PackageJson", kPackage);
    ports.addResource("Extensions",
                      BundleBuilder().addFile("a-first.txt", "1").addFile(name, "x").build());
    EXPECT_EQ(Startup(ports.ports()).run(), 1) << name;
    ASSERT_EQ(ports.messageBoxes.size(), 1u) << name;
    EXPECT_EQ(ports.messageBoxes[0].text, kUnpackFailed);
    EXPECT_EQ(ports.messageBoxes[0].caption, "Tavrelle");
    EXPECT_TRUE(ports.writtenFiles.empty()) << name;
  }
  FakeStartupPorts damaged;
  damaged.addResource("PackageJson", kPackage);
  damaged.addResource("Extensions", "zxab but not a bundle");
  EXPECT_EQ(Startup(damaged.ports()).run(), 1);
  FakeStartupPorts unwritable;
  unwritable.failWrites = true;
  unwritable.addResource("PackageJson", kPackage);
  unwritable.addResource("Extensions", BundleBuilder().addFile("Keelbridge.so", "ELF").build());
  EXPECT_EQ(Startup(unwritable.ports()).run(), 1);
  ASSERT_EQ(unwritable.messageBoxes.size(), 1u);
  EXPECT_EQ(unwritable.messageBoxes[0].text, kUnpackFailed);
}

TEST_F(StartupExtensionsTest, TheLibraryIsNotLoadedWhenUnpackingFails) {
  EXPECT_EQ(runPacked(BundleBuilder().addFile("../x", "x").build()), 1);
  EXPECT_FALSE(fake.log->contains(std::string("load:") + kExtensionFolder + "Keelbridge.so"));
  EXPECT_FALSE(fake.log->contains("windowSystem.createMainWindow"));
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
