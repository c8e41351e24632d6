#include "platform/FolderWriting.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TempDir.h"

namespace tavrelle {
namespace {

std::span<const std::byte> Bytes(std::string_view text) { return std::as_bytes(std::span(text)); }

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FolderWritingTest, RecreatingEmptiesTheFolderAndMakesMissingParents) {
  const test::TempDir dir;
  dir.writeFile("data/game/zxext/old/stale.so", "stale");
  dir.writeFile("outside/keep.txt", "keep");
  dir.makeSymlink(dir.pathOf("outside"), "data/game/zxext/link");
  ASSERT_TRUE(RecreateFolder(dir.pathOf("data/game/zxext/")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.pathOf("data/game/zxext")));
  EXPECT_EQ(Read(dir.pathOf("outside/keep.txt")), "keep");  // the link went, not its target

  ASSERT_TRUE(RecreateFolder(dir.pathOf("fresh/app/zxext/")));
  struct stat status {};
  ASSERT_EQ(::stat(dir.pathOf("fresh/app/zxext").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
}

TEST(FolderWritingTest, FilesGoBelowTheFolderWithTheirSubFolders) {
  const test::TempDir dir;
  const std::string folder = dir.makeFolder("zxext") + "/";
  ASSERT_TRUE(WriteFileBelow(folder, "Keelbridge.so", Bytes("ELF")));
  ASSERT_TRUE(WriteFileBelow(folder, "ext/steam/api.so", Bytes(std::string("a\0b", 3))));
  ASSERT_TRUE(WriteFileBelow(folder, "ext/steam/readme.txt", Bytes("")));
  ASSERT_TRUE(WriteFileBelow(folder, "Keelbridge.so", Bytes("NEW")));  // replaced whole
  EXPECT_EQ(Read(folder + "Keelbridge.so"), "NEW");
  EXPECT_EQ(Read(folder + "ext/steam/api.so"), std::string("a\0b", 3));
  EXPECT_TRUE(std::filesystem::is_regular_file(folder + "ext/steam/readme.txt"));
}

TEST(FolderWritingTest, LinksInsideTheFolderAreNotFollowed) {
  const test::TempDir dir;
  const std::string folder = dir.makeFolder("zxext") + "/";
  dir.makeFolder("outside");
  dir.makeSymlink(dir.pathOf("outside"), "zxext/ext");
  dir.makeSymlink(dir.pathOf("outside/target.so"), "zxext/file.so");
  EXPECT_FALSE(WriteFileBelow(folder, "ext/a.so", Bytes("x")));
  EXPECT_FALSE(WriteFileBelow(folder, "file.so", Bytes("x")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.pathOf("outside")));
  EXPECT_FALSE(WriteFileBelow(dir.pathOf("missing/"), "a.so", Bytes("x")));
}

}  // namespace
}  // namespace tavrelle
