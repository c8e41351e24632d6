#include "platform/ConfinedFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "support/TempDir.h"

namespace tavrelle {
namespace {

std::span<const std::byte> Bytes(std::string_view text) {
  return std::as_bytes(std::span(text.data(), text.size()));
}

std::string ReadAll(const OpenedFile& opened) {
  std::string text(opened.reader->size(), '\0');
  text.resize(opened.reader->readAt(0, std::as_writable_bytes(std::span(text))));
  return text;
}

FileOperationFailure FailureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const FileOperationError& error) {
    return error.failure();
  }
  ADD_FAILURE() << "the operation succeeded";
  return FileOperationFailure::Failed;
}

std::vector<std::string> Names(const std::vector<FolderEntry>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries)
    names.push_back(entry.name + (entry.kind == EntryKind::Directory ? "/" : ""));
  std::sort(names.begin(), names.end());
  return names;
}

class ConfinedFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root.makeFolder("granted");
    folder = ConfinedFolder::open(root.pathOf("granted"));
    ASSERT_TRUE(folder);
  }
  test::TempDir root;
  std::unique_ptr<ConfinedFolder> folder;
};

TEST_F(ConfinedFolderTest, OnlyExistingFoldersOpen) {
  EXPECT_FALSE(ConfinedFolder::open(root.pathOf("missing")));
  EXPECT_FALSE(ConfinedFolder::open(root.writeFile("plain", "x")));
  EXPECT_FALSE(ConfinedFolder::open(""));
}

TEST_F(ConfinedFolderTest, CreatesListsAndRemovesEntries) {
  folder->createDirectory({}, "saves");
  folder->createDirectory({}, "saves");  // already there: fine
  folder->createFile({"saves"}, "slot1.json");
  folder->createFile({"saves"}, "slot1.json");
  EXPECT_EQ(folder->kindOf({"saves"}), EntryKind::Directory);
  EXPECT_EQ(folder->kindOf({"saves", "slot1.json"}), EntryKind::File);
  EXPECT_EQ(Names(folder->list({})), (std::vector<std::string>{"saves/"}));
  EXPECT_EQ(Names(folder->list({"saves"})), (std::vector<std::string>{"slot1.json"}));

  using enum FileOperationFailure;
  EXPECT_EQ(FailureOf([&] { folder->createFile({}, "saves"); }), TypeMismatch);
  EXPECT_EQ(FailureOf([&] { (void)folder->kindOf({"nothing"}); }), NotFound);
  EXPECT_EQ(FailureOf([&] { (void)folder->list({"saves", "slot1.json"}); }), TypeMismatch);

  EXPECT_EQ(FailureOf([&] { folder->remove({}, "saves", false); }), InvalidModification);
  folder->createDirectory({"saves"}, "deeper");
  folder->createFile({"saves", "deeper"}, "x");
  folder->remove({}, "saves", true);
  EXPECT_TRUE(folder->list({}).empty());
  EXPECT_EQ(FailureOf([&] { folder->remove({}, "saves", true); }), NotFound);
}

TEST_F(ConfinedFolderTest, LinksLeadingOutsideAreRefused) {
  root.writeFile("secret.txt", "outside");
  root.makeFolder("elsewhere");
  root.makeSymlink(root.pathOf("secret.txt"), "granted/absolute");
  root.makeSymlink("../secret.txt", "granted/relative");
  root.makeSymlink("../elsewhere", "granted/folder");
  using enum FileOperationFailure;
  for (const char* name : {"absolute", "relative"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(FailureOf([&] { (void)folder->openForReading({name}); }), NotAllowed);
    EXPECT_EQ(FailureOf([&] { (void)folder->beginWrite({}, name, true); }), NotAllowed);
  }
  EXPECT_EQ(FailureOf([&] { folder->createFile({"folder"}, "planted"); }), NotAllowed);
  EXPECT_EQ(FailureOf([&] { (void)folder->list({"folder"}); }), NotAllowed);
  EXPECT_FALSE(FileExists(root.pathOf("elsewhere/planted")));
  // Not listed either; removing a link removes the link only.
  EXPECT_TRUE(folder->list({}).empty());
  folder->remove({}, "relative", false);
  EXPECT_EQ(*ReadWholeFile(root.pathOf("secret.txt")), "outside");
}

// The path is what the browser is told to read: it must lead to the file opened, past
// links, and to nothing else.
TEST_F(ConfinedFolderTest, ReadingFollowsLinksInsideAndGivesBytesTimeAndTheFilesOwnPath) {
  root.writeFile("granted/real.txt", "inside");
  root.makeSymlink("real.txt", "granted/alias.txt");
  root.writeFile("granted/sub/deep.txt", "deep");
  const std::string real = std::filesystem::canonical(root.pathOf("granted/real.txt")).string();
  OpenedFile alias = folder->openForReading({"alias.txt"});
  EXPECT_EQ(ReadAll(alias), "inside");
  EXPECT_EQ(alias.path, real);
  EXPECT_GT(alias.lastModifiedMs, 1'600'000'000'000);
  EXPECT_EQ(folder->openForReading({"real.txt"}).path, real);
  EXPECT_EQ(folder->openForReading({"sub", "deep.txt"}).path,
            std::filesystem::canonical(root.pathOf("granted/sub/deep.txt")).string());
  EXPECT_EQ(Names(folder->list({})), (std::vector<std::string>{"alias.txt", "real.txt", "sub/"}));
  EXPECT_EQ(FailureOf([&] { (void)folder->openForReading({}); }),
            FileOperationFailure::TypeMismatch);
}

TEST_F(ConfinedFolderTest, AWriteShowsOnlyWhenCommitted) {
  const std::string path = root.writeFile("granted/save.json", "old");
  {
    auto pending = folder->beginWrite({}, "save.json", false);
    ASSERT_TRUE(pending->write(0, Bytes("new data")));
    EXPECT_EQ(*ReadWholeFile(path), "old");
    EXPECT_EQ(folder->list({}).size(), 1u);  // the unfinished version is not listed
    pending->truncate(3);
    pending->commit();
  }
  EXPECT_EQ(*ReadWholeFile(path), "new");
  for (bool discarded : {true, false}) {
    auto pending = folder->beginWrite({}, "save.json", true);
    ASSERT_TRUE(pending->write(3, Bytes("!")));
    if (discarded) pending->discard();  // else dropped without a commit, as when the page goes
  }
  EXPECT_EQ(*ReadWholeFile(path), "new");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(root.pathOf("granted")))
    left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"save.json"});
  EXPECT_EQ(FailureOf([&] { (void)folder->beginWrite({}, "gone.json", false); }),
            FileOperationFailure::NotFound);
}

}  // namespace
}  // namespace tavrelle
