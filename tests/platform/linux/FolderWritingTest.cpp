#include "platform/FolderWriting.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace tavrelle {
namespace {

std::span<const std::byte> Bytes(std::string_view text) { return std::as_bytes(std::span(text)); }

TEST(FolderWritingTest, RecreatingEmptiesTheFolderAndMakesMissingParents) {
  const test::TempDir dir;
  dir.writeFile("data/game/zxext/old/stale.so", "stale");
  dir.writeFile("outside/keep.txt", "keep");
  dir.makeSymlink(dir.pathOf("outside"), "data/game/zxext/link");
  ASSERT_TRUE(RecreateFolder(dir.pathOf("data/game/zxext/")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.pathOf("data/game/zxext")));
  // The link went, not its target.
  EXPECT_EQ(ReadWholeFile(dir.pathOf("outside/keep.txt")), "keep");

  ASSERT_TRUE(RecreateFolder(dir.pathOf("fresh/app/zxext/")));
  EXPECT_EQ(std::filesystem::status(dir.pathOf("fresh/app/zxext")).permissions(),
            std::filesystem::perms::owner_all);
}

TEST(FolderWritingTest, FilesGoBelowTheFolderWithTheirSubFolders) {
  const test::TempDir dir;
  const std::string folder = dir.makeFolder("zxext") + "/";
  ASSERT_TRUE(WriteFileBelow(folder, "Keelbridge.so", Bytes("ELF")));
  ASSERT_TRUE(WriteFileBelow(folder, "ext/steam/api.so", Bytes(std::string("a\0b", 3))));
  ASSERT_TRUE(WriteFileBelow(folder, "ext/steam/readme.txt", Bytes("")));
  ASSERT_TRUE(WriteFileBelow(folder, "Keelbridge.so", Bytes("NEW")));  // replaced whole
  EXPECT_EQ(ReadWholeFile(folder + "Keelbridge.so"), "NEW");
  EXPECT_EQ(ReadWholeFile(folder + "ext/steam/api.so"), std::string("a\0b", 3));
  EXPECT_EQ(ReadWholeFile(folder + "ext/steam/readme.txt"), "");
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
