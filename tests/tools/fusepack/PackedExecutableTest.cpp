#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fusepack/ResourceAppender.h"
#include "platform/ExecutableResources.h"
#include "support/TempDir.h"
#include "support/CommandRun.h"
#include "tools/fusepack/PackedFiles.h"

namespace tavrelle {
namespace {

using ::testing::HasSubstr;

constexpr const char* kPackageJson = R"({"name": "packed"})";

using test::Text;

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
  fusepack::AppendResources(
      "/proc/self/exe",
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
}  // namespace tavrelle
