#include "fusepack/ResourceAppender.h"

#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/ResourceDirectory.h"
#include "platform/ExecutableResources.h"
#include "support/CommandRun.h"
#include "support/TempDir.h"
#include "tools/fusepack/PackedFiles.h"

namespace tavrelle::fusepack {
namespace {

using ::testing::HasSubstr;
using ::testing::ThrowsMessage;

using test::Text;

ResourceDirectory Parse(const std::string& file) {
  return ResourceDirectory::parse(std::as_bytes(std::span(file.data(), file.size())));
}

class ResourceAppenderTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  const std::string program_ = dir_.writeFile("program", std::string("\177ELF\0\1program", 12));
  const std::string output_ = dir_.pathOf("packed");
};

TEST_F(ResourceAppenderTest, PackingAPackedProgramReplacesItsResources) {
  AppendResources(program_, {{"T", "old", dir_.writeFile("a", "first")}}, output_);
  const std::string repacked = dir_.pathOf("repacked");
  AppendResources(output_, {{"T", "new", dir_.writeFile("b", "second")}}, repacked);
  const std::string file = test::ReadAll(repacked);
  const ResourceDirectory directory = Parse(file);
  EXPECT_EQ(directory.programSize(), 12u);
  EXPECT_EQ(Text(directory.find("T", "old")), "<none>");
  EXPECT_EQ(Text(directory.find("T", "new")), "second");
  EXPECT_EQ(directory.size(), 1u);
}

TEST_F(ResourceAppenderTest, FailuresLeaveTheDestinationAsItWas) {
  dir_.writeFile("packed", "previous");
  const std::string a = dir_.writeFile("a", "x");
  const std::vector<std::string> before = test::FolderEntries(dir_.path());

  EXPECT_THROW(AppendResources(program_, {{"T", "n", a}, {"T", "n", a}}, output_),
               std::runtime_error);
  const std::string missing = dir_.pathOf("missing");
  const auto appendMissing = [&] { AppendResources(program_, {{"T", "n", missing}}, output_); };
  EXPECT_THAT(appendMissing, ThrowsMessage<std::runtime_error>(HasSubstr("missing")));
  EXPECT_THROW(AppendResources(dir_.pathOf("no-program"), {}, output_), std::runtime_error);

  EXPECT_EQ(test::ReadAll(output_), "previous");
  EXPECT_EQ(test::FolderEntries(dir_.path()), before);  // no temporary file left behind
}

constexpr const char* kPackageJson = R"({"name": "packed"})";

// Runs inside a copy of this test program that carries resources (see below); in
// the plain program there are none.
TEST(PackedExecutableTest, ResourcesOfTheRunningProgram) {
  if (!LoadResourceData("Test", "Packed")) {
    EXPECT_FALSE(LoadResourceData("ZephyxData", "PackageJson"));
    return;
  }
  EXPECT_EQ(Text(LoadResourceData("ZephyxData", "PackageJson")), kPackageJson);
  EXPECT_EQ(LoadResourceData("ZephyxData", "PackageJson")->data(),
            LoadResourceData("ZephyxData", "PackageJson")->data());  // mapped once, in place
  EXPECT_FALSE(LoadResourceData("ZephyxData", "Empty"));             // empty counts as missing
  EXPECT_FALSE(LoadResourceData("ZephyxData", "Missing"));
  EXPECT_FALSE(LoadResourceData("zephyxdata", "PackageJson"));
}

TEST(PackedExecutableTest, APackedCopyOfThisProgramFindsItsResources) {
  const test::TempDir dir;
  const std::string packed = dir.pathOf("packed-tests");
  AppendResources("/proc/self/exe",
                  {{"Test", "Packed", dir.writeFile("marker", "1")},
                   {"ZephyxData", "PackageJson", dir.writeFile("package.json", kPackageJson)},
                   {"ZephyxData", "Empty", dir.writeFile("empty", "")}},
                  packed);
  const test::CommandResult run = test::RunCommand(
      dir, packed, {"--gtest_filter=PackedExecutableTest.ResourcesOfTheRunningProgram"});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("[  PASSED  ] 1 test"));
}

}  // namespace
}  // namespace tavrelle::fusepack
