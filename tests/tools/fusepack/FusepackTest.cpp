#include <array>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/TempDir.h"
#include "support/CommandRun.h"
#include "tools/fusepack/PackedFiles.h"

namespace tavrelle {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

test::CommandResult RunFusepack(const test::TempDir& scratch,
                                const std::vector<std::string>& arguments) {
  return test::RunCommand(scratch, TAVRELLE_FUSEPACK, arguments);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

using test::FileSet;

FileSet ManyFiles() {
  FileSet files;
  for (int i = 0; i < 2000; ++i) {
    const std::string folder =
        "level" + std::to_string(i % 13) + "/deeper " + std::to_string(i % 5) + "/";
    files[folder + "file " + std::to_string(i) + ".bin"] =
        i % 10 == 0 ? std::string() : std::string(static_cast<size_t>(i % 700), char('a' + i % 26));
  }
  files["empty"] = "";
  files["with spaces/and 'quotes'.txt"] = "quoted";
  files["ünicöde/日本.txt"] = "non-ascii";
  files["index.html"] = std::string("<html>\0binary\xFF", 14);
  return files;
}

class FusepackTest : public ::testing::Test {
 protected:
  void writeSource(const FileSet& files) const {
    dir_.makeFolder("src");
    for (const auto& [name, content] : files) dir_.writeFile("src/" + name, content);
  }

  test::CommandResult bundle(const std::string& output) const {
    return RunFusepack(scratch_, {"bundle", dir_.pathOf("src"), "-o", output});
  }

  test::TempDir dir_;
  test::TempDir scratch_;
};

TEST_F(FusepackTest, RoundTripsThousandsOfFiles) {
  const FileSet files = ManyFiles();
  writeSource(files);
  const std::string output = dir_.pathOf("game.zxab");
  const test::CommandResult packed = bundle(output);
  ASSERT_EQ(packed.exitCode, 0) << packed.err;
  EXPECT_THAT(packed.err, IsEmpty());  // small inputs print no progress
  EXPECT_EQ(test::BundleFiles(test::ReadAll(output)), files);
}

TEST_F(FusepackTest, SameFilesGiveIdenticalBundles) {
  writeSource({{"b", "2"}, {"a/x", "1"}, {"B", ""}, {"é", "e"}, {"_", "u"}});
  ASSERT_EQ(bundle(dir_.pathOf("one.zxab")).exitCode, 0);
  ASSERT_EQ(bundle(dir_.pathOf("two.zxab")).exitCode, 0);
  EXPECT_EQ(test::ReadAll(dir_.pathOf("one.zxab")), test::ReadAll(dir_.pathOf("two.zxab")));
  // Byte order: upper case, "_", lower case, then multi-byte characters.
  EXPECT_EQ(Lines(RunFusepack(scratch_, {"list", dir_.pathOf("one.zxab")}).out),
            (std::vector<std::string>{"0 B", "1 _", "1 a/x", "1 b", "1 é"}));
}

TEST_F(FusepackTest, OutputInsideTheFolderIsNotPacked) {
  writeSource({{"index.html", "hi"}});
  const std::string output = dir_.pathOf("src/game.zxab");
  ASSERT_EQ(bundle(output).exitCode, 0);
  ASSERT_EQ(bundle(output).exitCode, 0);  // the first bundle now lies in the folder
  EXPECT_EQ(test::BundleFiles(test::ReadAll(output)), (FileSet{{"index.html", "hi"}}));
  EXPECT_EQ(test::FolderEntries(dir_.pathOf("src")),
            (std::vector<std::string>{"game.zxab", "index.html"}));
}

TEST_F(FusepackTest, LinksToFilesAreFollowedAndLinksToFoldersAreNot) {
  writeSource({{"real/data.txt", "data"}});
  dir_.makeSymlink("real/data.txt", "src/alias.txt");
  dir_.makeSymlink("real", "src/folder-link");
  dir_.makeSymlink("..", "src/real/loop");
  dir_.makeSymlink("nowhere", "src/dangling");
  ASSERT_EQ(bundle(dir_.pathOf("out.zxab")).exitCode, 0);
  EXPECT_EQ(test::BundleFiles(test::ReadAll(dir_.pathOf("out.zxab"))),
            (FileSet{{"alias.txt", "data"}, {"real/data.txt", "data"}}));
}

TEST_F(FusepackTest, HelpSucceedsAndCommandLineMistakesFailWithASentence) {
  const test::CommandResult help = RunFusepack(scratch_, {"bundle", "--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, HasSubstr("Usage: fusepack"));
  dir_.makeFolder("src");
  const std::string src = dir_.pathOf("src");
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{},
                                                    {"pack"},
                                                    {"bundle", src, "-o"},
                                                    {"bundle", "-x", src, "-o", "f"},
                                                    {"list", "a", "b"}}) {
    const test::CommandResult run = RunFusepack(scratch_, arguments);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("."));
    EXPECT_THAT(run.out, IsEmpty());
  }
}

TEST_F(FusepackTest, MissingFolderOrUnwritableOutputFailsLeavingNothing) {
  dir_.makeFolder("src");
  dir_.makeFolder("target/occupied");  // renaming over it fails at the very end
  const std::string nope = dir_.pathOf("nope");
  for (const auto& [folder, output, text] : std::vector<std::array<std::string, 3>>{
           {nope, dir_.pathOf("out.zxab"), "The folder '" + nope + "' does not exist."},
           {dir_.pathOf("src"), dir_.pathOf("no/such/folder/out.zxab"), "Cannot write"},
           {dir_.pathOf("src"), dir_.pathOf("target"), "Cannot write"}}) {
    const test::CommandResult run = RunFusepack(scratch_, {"bundle", folder, "-o", output});
    EXPECT_EQ(run.exitCode, 1) << output;
    EXPECT_THAT(run.err, HasSubstr(text));
  }
  // Neither out.zxab nor a half bundle is left.
  EXPECT_EQ(test::FolderEntries(dir_.path()), (std::vector<std::string>{"src", "target"}));
}

TEST_F(FusepackTest, RejectedBundlesPrintTheReadersText) {
  writeSource({{"a.txt", "abc"}});
  ASSERT_EQ(bundle(dir_.pathOf("good.zxab")).exitCode, 0);
  const std::string bytes = test::ReadAll(dir_.pathOf("good.zxab"));
  // Bytes 20 to 27 hold the size of the "blob" chunk.
  dir_.writeFile("bad-chunk.zxab", bytes.substr(0, 20) + std::string(8, '\xFF') + bytes.substr(28));
  dir_.writeFile("bad-format.zxab", "Z" + bytes.substr(1));
  dir_.writeFile("tiny.zxab", "zx");
  const std::map<std::string, std::string> expectedTexts = {{"bad-chunk.zxab", "bad chunk"},
                                                            {"bad-format.zxab", "bad format"},
                                                            {"tiny.zxab", "bundle read error"}};
  for (const auto& [file, text] : expectedTexts) {
    const test::CommandResult run = RunFusepack(scratch_, {"list", dir_.pathOf(file)});
    EXPECT_EQ(run.exitCode, 1) << file;
    EXPECT_EQ(run.err, text + "\n") << file;
    EXPECT_THAT(run.out, IsEmpty()) << file;
  }
  const test::CommandResult missing = RunFusepack(scratch_, {"list", dir_.pathOf("missing.zxab")});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_THAT(missing.err, HasSubstr("No such file or directory"));
}

}  // namespace
}  // namespace tavrelle
