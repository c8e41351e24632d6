#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "content/BundleArchive.h"
#include "support/BundleBuilder.h"

namespace tavrelle {
namespace {

using test::BigEndian32;
using test::BundleBuilder;
using test::BundleHeader;
using test::BytesOf;
using test::Chunk;
using test::ChunkHeader;
using test::DirectoryData;
using test::DirectoryEntry;
using Entries = std::vector<DirectoryEntry>;

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

std::string ContentAt(const BundleArchive& archive, const BundleFileInfo& info) {
  return {reinterpret_cast<const char*>(archive.dataPointer(info.offset)), info.size};
}

void Open(BundleArchive& archive, const std::string& bundle) {
  archive.openMemory(BytesOf(bundle), bundle.size());
}

// "opened", or the text of the exception that opening throws; only reading past the
// limit is a range error.
std::string OpenError(const std::string& bundle) {
  BundleArchive archive;
  try {
    Open(archive, bundle);
  } catch (const std::out_of_range& error) {
    return std::string("range: ") + error.what();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "opened";
}

std::string WithDirectory(std::string_view blob, const Entries& entries) {
  return BundleHeader() + Chunk("blob", blob) + Chunk("fdir", DirectoryData(entries));
}

TEST(BundleArchive, ReadsTheNinetyByteExampleByteForByte) {
  std::string bundle = "zxab";
  bundle += std::string("\0\0\0\0\0\0\0\x10\0\0\0\0", 12);
  bundle += "blob" + std::string("\0\0\0\0\0\0\0\x03", 8) + "abc";
  bundle += "fdir" + std::string("\0\0\0\0\0\0\0\x2F", 8) + std::string("\0\0\0\x01", 4);
  bundle += std::string(16, '\0') + std::string("\0\0\0\0\0\0\0\x03", 8);
  bundle += "\x01\x02\x03\x04\x05\x06\x07\x08" + std::string("\0\0\0\0\x06", 5) + "hi.txt";
  ASSERT_EQ(bundle.size(), 90U);

  BundleArchive archive;
  Open(archive, bundle);
  const BundleFileInfo info = archive.lookup("hi.txt");
  ASSERT_TRUE(info.found);
  EXPECT_EQ(info.offset, 0U);
  EXPECT_EQ(info.size, 3U);
  EXPECT_EQ(info.extra, 0x0102030405060708U);
  EXPECT_EQ(info.compression, 0U);
  EXPECT_EQ(archive.dataPointer(0), BytesOf(bundle) + 28);
  EXPECT_EQ(ContentAt(archive, info), "abc");
}

TEST(BundleArchive, ChunkOrderIsFreeUnknownChunksSkippedAndTheFirstOfAnIdCounts) {
  const std::string a = DirectoryData(Entries{{"a", 0, 5}});
  for (const std::string& bundle :
       {BundleHeader() + Chunk("fdir", a) + Chunk("note", "ignored") + Chunk("blob", "first"),
        BundleHeader() + Chunk("blob", "first") + Chunk("blob", "other") + Chunk("fdir", a) +
            Chunk("fdir", DirectoryData(Entries{})),
        BundleHeader(20) + "pad!" + Chunk("blob", "first") + Chunk("fdir", a)}) {
    BundleArchive archive;
    Open(archive, bundle);
    EXPECT_EQ(ContentAt(archive, archive.lookup("a")), "first");
  }
}

TEST(BundleArchive, EmptySharedAndDuplicateEntries) {
  const std::string bundle = WithDirectory(
      "abcdef",
      {{"empty", 3, 0, 7}, {"shared", 0, 4}, {"inner", 2, 2}, {"same", 0, 1}, {"same", 1, 1}});
  BundleArchive archive;
  Open(archive, bundle);
  const BundleFileInfo empty = archive.lookup("empty");
  EXPECT_TRUE(empty.found);
  EXPECT_EQ(empty.size, 0U);
  EXPECT_EQ(empty.extra, 7U);
  EXPECT_EQ(ContentAt(archive, archive.lookup("shared")), "abcd");
  EXPECT_EQ(ContentAt(archive, archive.lookup("inner")), "cd");
  EXPECT_EQ(ContentAt(archive, archive.lookup("same")), "a");  // the first wins, listed once
  EXPECT_EQ(archive.listPaths(), (std::vector<std::string>{"empty", "inner", "same", "shared"}));
}

TEST(BundleArchive, LookupIsExactAndListingIsInByteOrder) {
  const std::string bundle = WithDirectory(
      "x", {{"b.txt", 0, 1}, {"\xC3\xA9.txt", 0, 1}, {"B.txt", 0, 1}, {"a/b.txt", 0, 1}});
  BundleArchive archive;
  Open(archive, bundle);
  EXPECT_FALSE(archive.lookup("A/B.TXT").found);
  const BundleFileInfo miss = archive.lookup("c.txt");
  EXPECT_FALSE(miss.found);
  EXPECT_EQ(miss.offset + miss.size + miss.extra + miss.compression, 0U);
  EXPECT_EQ(archive.listPaths(),
            (std::vector<std::string>{"B.txt", "a/b.txt", "b.txt", "\xC3\xA9.txt"}));
}

TEST(BundleArchive, FormatErrors) {
  DirectoryEntry reserved{"r", 0, 0};
  reserved.reserved2 = 1;
  DirectoryEntry compressed{"c", 0, 1};
  compressed.compression = 1;
  const Entries one{{"a", 0, 1}};
  std::string longName = DirectoryData(one);
  longName.replace(longName.size() - 5, 4, BigEndian32(0xFFFFFFFF));
  const std::string blobX = BundleHeader() + Chunk("blob", "x");
  const std::vector<std::pair<std::string, std::string>> cases = {
      // Entries must lie within the blob.
      {WithDirectory("0123456789", {{"past", 4, 7}}), "bad file entry"},
      {WithDirectory("0123456789", {{"empty-at-end", 10, 0}}), "opened"},
      {WithDirectory("0123456789", {{"after", 11, 0}}), "bad file entry"},
      {WithDirectory("0123456789", {{"wrap", 2, kMax64}}), "bad file entry"},
      {WithDirectory("x", {reserved}), "bad file entry"},
      {WithDirectory("x", {compressed}), "bad file compression"},
      // Header.
      {BundleHeader(16, 0, 0, "zxaB") + Chunk("blob", ""), "bad format"},
      {BundleHeader(16, 1) + Chunk("blob", "") + Chunk("fdir", BigEndian32(0)),
       "unsupported version"},
      {BundleHeader(16, 0, 4), "invalid flags"},
      // Flags are tested after chunkStart was read: a cut inside it is a read error.
      {BundleHeader(16, 0, 4).substr(0, 10), "range: bundle read error"},
      // Chunks.
      {BundleHeader(4000) + Chunk("blob", ""), "missing blob chunk"},
      {BundleHeader() + Chunk("blob", "abc"), "missing fdir chunk"},
      {BundleHeader() + ChunkHeader("blob", kMax64), "bad chunk"},
      {BundleHeader() + ChunkHeader("blob", 4) + "abc", "bad chunk"},
      {BundleHeader() + Chunk("blob", "") + "fdir" + BigEndian32(0), "range: bundle read error"},
      // Directory reads stay inside the directory chunk, even when the bytes after it
      // would make a valid entry; leftover bytes inside it are ignored.
      {blobX + Chunk("fdir", DirectoryData(one, 2)) + Chunk("tail", test::EncodeEntry({"b", 0, 1})),
       "range: bundle read error"},
      {blobX + Chunk("fdir", longName), "range: bundle read error"},
      {blobX + Chunk("fdir", DirectoryData(one) + "trailing"), "opened"},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(OpenError(cases[i].first), cases[i].second) << "case " << i;
  }
}

TEST(BundleArchive, FailedOpenAndReopenReplaceTheDirectory) {
  BundleArchive archive;
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_THROW({ (void)archive.dataPointer(0); }, std::runtime_error);

  const std::string good = BundleBuilder().addFile("a", "1").build();
  Open(archive, good);
  EXPECT_TRUE(archive.isOpen());
  // A failed open closes: nothing of the earlier directory is left.
  const std::string bad = WithDirectory("x", {{"a", 0, 1}, {"b", 0, 2}});
  EXPECT_THROW(Open(archive, bad), std::runtime_error);
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_FALSE(archive.isOpen());

  const std::string second = BundleBuilder().addFile("b", "22").build();
  Open(archive, good);
  Open(archive, second);
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_EQ(ContentAt(archive, archive.lookup("b")), "22");
  EXPECT_EQ(archive.fileCount(), 1U);
}

}  // namespace
}  // namespace tavrelle
