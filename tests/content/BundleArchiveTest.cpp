#include <gtest/gtest.h>

#include <limits>
#include <stdexcept>
#include <string>

#include "content/BundleArchive.h"
#include "support/BundleBuilder.h"

namespace tavrelle {
namespace {

using test::BigEndian32;
using test::BigEndian64;
using test::BundleBuilder;
using test::BundleHeader;
using test::BytesOf;
using test::Chunk;
using test::ChunkHeader;
using test::DirectoryData;
using test::DirectoryEntry;

std::string ContentAt(const BundleArchive& archive, const BundleFileInfo& info) {
  return {reinterpret_cast<const char*>(archive.dataPointer(info.offset)), info.size};
}

// The text of the exception that opening throws; the kind is checked as well:
// only reading past the limit is a range error.
std::string OpenError(const std::string& bundle) {
  BundleArchive archive;
  try {
    archive.openMemory(BytesOf(bundle), bundle.size());
  } catch (const std::out_of_range& error) {
    return std::string("range: ") + error.what();
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "opened";
}

std::string WithDirectory(std::string_view blob, const std::vector<DirectoryEntry>& entries) {
  return BundleHeader() + Chunk("blob", blob) + Chunk("fdir", DirectoryData(entries));
}

TEST(BundleArchiveLayout, ReadsTheNinetyByteExampleByteForByte) {
  std::string bundle = "zxab";
  bundle += std::string("\0\0\0\0\0\0\0\x10\0\0\0\0", 12);
  bundle += "blob" + std::string("\0\0\0\0\0\0\0\x03", 8) + "abc";
  bundle += "fdir" + std::string("\0\0\0\0\0\0\0\x2F", 8) + std::string("\0\0\0\x01", 4);
  bundle += std::string(16, '\0') + std::string("\0\0\0\0\0\0\0\x03", 8);
  bundle += "\x01\x02\x03\x04\x05\x06\x07\x08" + std::string("\0\0\0\0\x06", 5) + "hi.txt";
  ASSERT_EQ(bundle.size(), 90U);

  BundleArchive archive;
  archive.openMemory(BytesOf(bundle), bundle.size());
  const BundleFileInfo info = archive.lookup("hi.txt");
  ASSERT_TRUE(info.found);
  EXPECT_EQ(info.offset, 0U);
  EXPECT_EQ(info.size, 3U);
  EXPECT_EQ(info.extra, 0x0102030405060708U);
  EXPECT_EQ(info.compression, 0U);
  EXPECT_EQ(archive.dataPointer(0), BytesOf(bundle) + 28);
  EXPECT_EQ(ContentAt(archive, info), "abc");
}

TEST(BundleArchiveLayout, ChunkOrderIsFreeAndUnknownChunksAreSkipped) {
  const std::string blob = "hello";
  const std::vector<DirectoryEntry> entries{{"a.txt", 0, 5}};
  const std::string bundle = BundleHeader() + Chunk("fdir", DirectoryData(entries)) +
                             Chunk("note", "ignored") + Chunk("blob", blob);
  BundleArchive archive;
  archive.openMemory(BytesOf(bundle), bundle.size());
  EXPECT_EQ(ContentAt(archive, archive.lookup("a.txt")), "hello");
}

TEST(BundleArchiveLayout, FirstChunkOfAnIdCounts) {
  const std::vector<DirectoryEntry> entries{{"a.txt", 0, 5}};
  const std::string bundle = BundleHeader() + Chunk("blob", "first") + Chunk("blob", "other") +
                             Chunk("fdir", DirectoryData(entries)) +
                             Chunk("fdir", DirectoryData(std::vector<DirectoryEntry>{}));
  BundleArchive archive;
  archive.openMemory(BytesOf(bundle), bundle.size());
  EXPECT_EQ(ContentAt(archive, archive.lookup("a.txt")), "first");
}

TEST(BundleArchiveLayout, ChunkStartMayLeaveAGapAfterTheHeader) {
  const std::string bundle = BundleHeader(20) + "pad!" + Chunk("blob", "x") +
                             Chunk("fdir", DirectoryData(std::vector<DirectoryEntry>{{"x", 0, 1}}));
  BundleArchive archive;
  archive.openMemory(BytesOf(bundle), bundle.size());
  EXPECT_EQ(ContentAt(archive, archive.lookup("x")), "x");
}

TEST(BundleArchiveEntries, BoundsOfAnEntryWithinTheBlob) {
  EXPECT_EQ(OpenError(WithDirectory("0123456789", {{"end", 4, 6}})), "opened");
  EXPECT_EQ(OpenError(WithDirectory("0123456789", {{"past", 4, 7}})), "bad file entry");
  EXPECT_EQ(OpenError(WithDirectory("0123456789", {{"empty-at-end", 10, 0}})), "opened");
  EXPECT_EQ(OpenError(WithDirectory("0123456789", {{"after", 11, 0}})), "bad file entry");
  // offset + size would wrap around to a small number.
  EXPECT_EQ(
      OpenError(WithDirectory("0123456789", {{"wrap", 2, std::numeric_limits<uint64_t>::max()}})),
      "bad file entry");
}

TEST(BundleArchiveEntries, EmptyFilesSharedBytesAndExtraAreKept) {
  BundleArchive archive;
  const std::string bundle =
      WithDirectory("abcdef", {{"empty", 3, 0, 7}, {"shared", 0, 4}, {"inner", 2, 2}});
  archive.openMemory(BytesOf(bundle), bundle.size());
  const BundleFileInfo empty = archive.lookup("empty");
  EXPECT_TRUE(empty.found);
  EXPECT_EQ(empty.size, 0U);
  EXPECT_EQ(empty.extra, 7U);
  EXPECT_EQ(ContentAt(archive, archive.lookup("shared")), "abcd");
  EXPECT_EQ(ContentAt(archive, archive.lookup("inner")), "cd");
}

TEST(BundleArchiveEntries, FirstOfDuplicateNamesWinsAndIsListedOnce) {
  BundleArchive archive;
  const std::string bundle = WithDirectory("AB", {{"same", 0, 1}, {"same", 1, 1}});
  archive.openMemory(BytesOf(bundle), bundle.size());
  EXPECT_EQ(ContentAt(archive, archive.lookup("same")), "A");
  EXPECT_EQ(archive.listPaths(), std::vector<std::string>{"same"});
}

TEST(BundleArchiveEntries, LookupIsExactAndListingIsInByteOrder) {
  BundleArchive archive;
  const std::string bundle = WithDirectory(
      "x", {{"b.txt", 0, 1}, {"\xC3\xA9.txt", 0, 1}, {"B.txt", 0, 1}, {"a/b.txt", 0, 1}});
  archive.openMemory(BytesOf(bundle), bundle.size());
  EXPECT_FALSE(archive.lookup("A/B.TXT").found);
  EXPECT_FALSE(archive.lookup("/a/b.txt").found);
  const BundleFileInfo miss = archive.lookup("c.txt");
  EXPECT_FALSE(miss.found);
  EXPECT_EQ(miss.offset + miss.size + miss.extra + miss.compression, 0U);
  EXPECT_EQ(archive.listPaths(),
            (std::vector<std::string>{"B.txt", "a/b.txt", "b.txt", "\xC3\xA9.txt"}));
}

TEST(BundleArchiveFailures, HeaderFields) {
  EXPECT_EQ(OpenError(BundleHeader(16, 0, 0, "zxaB") + Chunk("blob", "")), "bad format");
  EXPECT_EQ(OpenError(BundleHeader(16, 1) + Chunk("blob", "") + Chunk("fdir", BigEndian32(0))),
            "unsupported version");
  EXPECT_EQ(OpenError(BundleHeader(16, 0, 4)), "invalid flags");
  // Flags are tested only after chunkStart was read, so a header cut inside chunkStart
  // is a read error rather than a flags error.
  EXPECT_EQ(OpenError(BundleHeader(16, 0, 4).substr(0, 10)), "range: bundle read error");
}

TEST(BundleArchiveFailures, TooShortToHoldAHeader) {
  EXPECT_EQ(OpenError(""), "range: bundle read error");
  EXPECT_EQ(OpenError("zxa"), "range: bundle read error");
  EXPECT_EQ(OpenError(BundleHeader().substr(0, 14)), "range: bundle read error");
}

TEST(BundleArchiveFailures, RequiredChunks) {
  EXPECT_EQ(OpenError(BundleHeader()), "missing blob chunk");
  EXPECT_EQ(OpenError(BundleHeader(4000) + Chunk("blob", "")), "missing blob chunk");
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "abc")), "missing fdir chunk");
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("fdir", BigEndian32(0))), "missing blob chunk");
}

TEST(BundleArchiveFailures, ChunkSizes) {
  EXPECT_EQ(OpenError(BundleHeader() + ChunkHeader("blob", std::numeric_limits<uint64_t>::max())),
            "bad chunk");
  EXPECT_EQ(OpenError(BundleHeader() + ChunkHeader("blob", 4) + "abc"), "bad chunk");
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "") + "fdi"), "range: bundle read error");
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "") + "fdir" + BigEndian32(0)),
            "range: bundle read error");
}

TEST(BundleArchiveFailures, DirectoryEntries) {
  DirectoryEntry reserved{"r", 0, 0};
  reserved.reserved2 = 1;
  EXPECT_EQ(OpenError(WithDirectory("x", {reserved})), "bad file entry");
  DirectoryEntry compressed{"c", 0, 1};
  compressed.compression = 1;
  EXPECT_EQ(OpenError(WithDirectory("x", {compressed})), "bad file compression");
}

TEST(BundleArchiveFailures, DirectoryReadsStayInsideTheDirectoryChunk) {
  const std::vector<DirectoryEntry> one{{"a", 0, 1}};
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "x") + Chunk("fdir", DirectoryData(one, 2))),
            "range: bundle read error");
  // The bytes after the chunk would make a valid second entry, but lie outside it.
  const std::string cut = DirectoryData(one, 2);
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "x") + Chunk("fdir", cut) +
                      Chunk("tail", test::EncodeEntry({"b", 0, 1}))),
            "range: bundle read error");
  // A name length far beyond the chunk.
  std::string longName = DirectoryData(one);
  longName.replace(longName.size() - 5, 4, BigEndian32(0xFFFFFFFF));
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "x") + Chunk("fdir", longName)),
            "range: bundle read error");
}

TEST(BundleArchiveFailures, LeftoverDirectoryBytesAreIgnored) {
  const std::vector<DirectoryEntry> one{{"a", 0, 1}};
  EXPECT_EQ(OpenError(BundleHeader() + Chunk("blob", "x") +
                      Chunk("fdir", DirectoryData(one) + "trailing")),
            "opened");
}

TEST(BundleArchiveState, FailedOpenAndCloseLeaveNothingToLookUp) {
  BundleArchive archive;
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_THROW({ (void)archive.dataPointer(0); }, std::runtime_error);

  const std::string good = BundleBuilder().addFile("a", "1").build();
  archive.openMemory(BytesOf(good), good.size());
  EXPECT_TRUE(archive.isOpen());
  archive.close();
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_FALSE(archive.isOpen());

  const std::string bad = WithDirectory("x", {{"a", 0, 1}, {"b", 0, 2}});
  EXPECT_THROW(archive.openMemory(BytesOf(bad), bad.size()), std::runtime_error);
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_FALSE(archive.isOpen());
}

TEST(BundleArchiveState, ReopeningReplacesTheDirectory) {
  const std::string first = BundleBuilder().addFile("a", "1").build();
  const std::string second = BundleBuilder().addFile("b", "22").build();
  BundleArchive archive;
  archive.openMemory(BytesOf(first), first.size());
  archive.openMemory(BytesOf(second), second.size());
  EXPECT_FALSE(archive.lookup("a").found);
  EXPECT_EQ(ContentAt(archive, archive.lookup("b")), "22");
  EXPECT_EQ(archive.fileCount(), 1U);
}

}  // namespace
}  // namespace tavrelle
