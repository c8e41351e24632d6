#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace tavrelle {
namespace {

class Files : public ::testing::Test {
 protected:
  test::TempDir dir;
};

TEST_F(Files, FoldersExistButAreNotRegularFiles) {
  const std::string folder = dir.makeFolder("sub");
  const std::string file = dir.writeFile("sub/a.txt", "abc");
  dir.makeSymlink(file, "link.txt");
  EXPECT_TRUE(FileExists(folder));
  EXPECT_FALSE(IsRegularFile(folder));
  EXPECT_EQ(FileSize(folder), std::nullopt);
  EXPECT_TRUE(IsRegularFile(dir.pathOf("link.txt")));
  EXPECT_EQ(FileSize(dir.pathOf("link.txt")), 3U);
  EXPECT_FALSE(FileExists(dir.pathOf("missing")));
  EXPECT_EQ(ReadWholeFile(folder), std::nullopt);
  EXPECT_EQ(MappedFile::open(folder), nullptr);
  EXPECT_EQ(FileReader::open(folder), nullptr);
}

TEST_F(Files, CreatedFoldersAreTheOwnersOnly) {
  namespace fs = std::filesystem;
  const std::string existing = dir.makeFolder("shared");
  fs::permissions(existing, fs::perms(0755));
  const std::string deepest = existing + "/app/profile/Default";
  EXPECT_EQ(CreatePrivateFolders(deepest), std::nullopt);
  for (const std::string& created : {existing + "/app", existing + "/app/profile", deepest}) {
    EXPECT_EQ(fs::status(created).permissions(), fs::perms::owner_all) << created;
  }
  EXPECT_EQ(fs::status(existing).permissions(), fs::perms(0755));
  EXPECT_EQ(CreatePrivateFolders(deepest), std::nullopt);  // already there
  const std::string file = dir.writeFile("plain.txt", "x");
  EXPECT_NE(CreatePrivateFolders(file), std::nullopt);
}

TEST_F(Files, SizesAtTheTwoGiBBoundary) {
  const std::string below = dir.writeSparseFile("below", 0x7FFFFFFF);
  const std::string at = dir.writeSparseFile("at", 0x80000000);
  EXPECT_EQ(GetFileSize32(below), 0x7FFFFFFF);
  EXPECT_EQ(GetFileSize32(at), 0);
  EXPECT_EQ(FileSize(at), 0x80000000U);
  EXPECT_EQ(GetFileSize32(dir.pathOf("missing")), 0);
}

TEST_F(Files, ReadingStopsAtTheEndAndEmptyFilesMapAndReadAsEmpty) {
  const std::string content(70000, 'x');
  const std::string path = dir.writeFile("data", content + "tail");
  EXPECT_EQ(ReadWholeFile(path), content + "tail");
  const auto empty = MappedFile::open(dir.writeFile("empty", ""));
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->bytes().empty());
  EXPECT_EQ(ReadWholeFile(dir.pathOf("empty")), "");
  const auto reader = FileReader::open(path);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->size(), 70004U);
  std::string out(10, '\0');
  EXPECT_EQ(reader->readAt(70000, std::as_writable_bytes(std::span(out))), 4U);
  EXPECT_EQ(out.substr(0, 4), "tail");
  EXPECT_EQ(reader->readAt(70004, std::as_writable_bytes(std::span(out))), 0U);
  EXPECT_EQ(reader->readAt(uint64_t{1} << 62, std::as_writable_bytes(std::span(out))), 0U);
}

TEST_F(Files, MappingsOutliveTheirFileName) {
  const std::string path = dir.writeFile("gone", "mapped bytes");
  const auto mapped = MappedFile::open(path);
  ASSERT_NE(mapped, nullptr);
  std::remove(path.c_str());
  const auto bytes = mapped->bytes();
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()), "mapped bytes");
}

}  // namespace
}  // namespace tavrelle
