#include <filesystem>
#include <map>
#include <optional>
#include <tuple>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/ResourceDirectory.h"
#include "fusepack/HostLocator.h"
#include "support/TempDir.h"
#include "support/CommandRun.h"
#include "tools/fusepack/PackedFiles.h"

namespace tavrelle {
namespace {

using test::BundleFiles;
using test::Text;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Files = test::FileSet;

constexpr const char* kPackage = R"({"name":"one","bundle":{"type":"single-file"}})";
constexpr const char* kFakeHost = "#!/bin/sh\necho host\nexit 0\n";

class SingleFileTest : public ::testing::Test {
 protected:
  SingleFileTest() {
    writeGame();
    dir_.makeFolder("out");
  }
  void writeGame() const {
    dir_.writeFile("game/package.json", kPackage);
    dir_.writeFile("game/www/index.html", "<p>one</p>");
    dir_.writeFile("game/www/img/a.png", "PNG");
    dir_.writeFile("game/extensions/Keelbridge.so", "ELF");
    dir_.writeFile("game/extensions/steam/api.so", "API");
    dir_.writeFile("game/Keelbridge.so", "a loose copy, not packed");
  }
  test::CommandResult pack(const std::vector<std::string>& extra,
                           const std::string& fusepack = TAVRELLE_FUSEPACK) const {
    std::vector<std::string> arguments{"single-file", dir_.pathOf("game"), "-o",
                                       dir_.pathOf("out/one")};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return test::RunCommand(scratch_, fusepack, arguments);
  }

  test::TempDir dir_;
  test::TempDir scratch_;
};

TEST_F(SingleFileTest, WritesAnExecutableHostCarryingTheGame) {
  const std::string host = dir_.writeFile("host/tavrelle", kFakeHost);
  const test::CommandResult run = pack({"--host", host});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string output = test::ReadAll(dir_.pathOf("out/one"));
  const auto bytes = std::as_bytes(std::span(output));
  const ResourceDirectory resources = ResourceDirectory::parse(bytes);
  EXPECT_EQ(Text(bytes.first(resources.programSize())), kFakeHost);
  EXPECT_EQ(Text(resources.find("ZephyxData", "PackageJson").value()), kPackage);
  EXPECT_EQ(BundleFiles(resources.find("ZephyxData", "AssetBundle").value()),
            (Files{{"index.html", "<p>one</p>"}, {"img/a.png", "PNG"}}));
  EXPECT_EQ(BundleFiles(resources.find("ZephyxData", "Extensions").value()),
            (Files{{"Keelbridge.so", "ELF"}, {"steam/api.so", "API"}}));

  // A game without extensions carries no Extensions resource.
  std::filesystem::remove_all(dir_.pathOf("game/extensions"));
  ASSERT_EQ(pack({"--host", host}).exitCode, 0);
  const std::string plain = test::ReadAll(dir_.pathOf("out/one"));
  EXPECT_FALSE(
      ResourceDirectory::parse(std::as_bytes(std::span(plain))).find("ZephyxData", "Extensions"));
}

TEST_F(SingleFileTest, EachMissingPieceIsOneSentenceAndExitOne) {
  const std::string host = dir_.writeFile("tavrelle", kFakeHost);
  const std::vector<std::tuple<const char*, std::optional<std::string>, const char*>> cases = {
      {"game/package.json", std::nullopt, "There is no readable package.json in the game folder"},
      {"game/package.json", "{\"name\": 3}", "is not a valid configuration"},
      {"game/package.json", R"({"name":"one"})", R"(must set "bundle": {"type": "single-file"})"},
      {"game/www", std::nullopt, "There is no www folder in the game folder"}};
  for (const auto& [path, content, sentence] : cases) {
    SCOPED_TRACE(sentence);
    writeGame();
    if (content) {
      dir_.writeFile(path, *content);
    } else {
      std::filesystem::remove_all(dir_.pathOf(path));
    }
    const test::CommandResult run = pack({"--host", host});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr(sentence));
    EXPECT_FALSE(std::filesystem::exists(dir_.pathOf("out/one")));
  }
  writeGame();
  const test::CommandResult named = pack({"--host", dir_.pathOf("no-such-host")});
  EXPECT_EQ(named.exitCode, 1);
  EXPECT_THAT(named.err, HasSubstr("named with --host is not a file"));
}

// A copy of fusepack with no host beside it and none beside where it was started.
TEST_F(SingleFileTest, WithoutAHostNearbyItSaysWhereItLooked) {
  const std::string lonely = dir_.pathOf("lonely/fusepack");
  dir_.makeFolder("lonely");
  std::filesystem::copy_file(TAVRELLE_FUSEPACK, lonely);
  std::filesystem::permissions(lonely, std::filesystem::perms::owner_all);
  const test::CommandResult run = pack({}, lonely);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, HasSubstr("The host executable 'tavrelle' was not found (looked at '" +
                                 dir_.pathOf("lonely/tavrelle") + "')"));
  EXPECT_THAT(run.err, HasSubstr("--host PATH"));
}

TEST_F(SingleFileTest, TheHostIsFoundBesideTheStartPathThenBesideTheRealProgram) {
  dir_.makeFolder("real");
  dir_.makeFolder("linked");
  std::filesystem::copy_file(TAVRELLE_FUSEPACK, dir_.pathOf("real/fusepack"));
  std::filesystem::permissions(dir_.pathOf("real/fusepack"), std::filesystem::perms::owner_all);
  dir_.makeSymlink(dir_.pathOf("real/fusepack"), "linked/fusepack");
  dir_.writeFile("real/tavrelle", "#!/bin/sh\necho real\nexit 0\n");
  ASSERT_EQ(pack({}, dir_.pathOf("linked/fusepack")).exitCode, 0);
  EXPECT_EQ(test::RunCommand(scratch_, dir_.pathOf("out/one"), {}).out, "real\n");
  dir_.writeFile("linked/tavrelle", "#!/bin/sh\necho linked\nexit 0\n");
  ASSERT_EQ(pack({}, dir_.pathOf("linked/fusepack")).exitCode, 0);
  EXPECT_EQ(test::RunCommand(scratch_, dir_.pathOf("out/one"), {}).out, "linked\n");

  EXPECT_THAT(fusepack::HostCandidates("fusepack", "/b/fusepack"), ElementsAre("/b/tavrelle"));
  EXPECT_THAT(fusepack::HostCandidates("/b/fusepack", "/b/fusepack"), ElementsAre("/b/tavrelle"));
}

}  // namespace
}  // namespace tavrelle
