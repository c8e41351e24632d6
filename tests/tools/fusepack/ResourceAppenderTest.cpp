#include "fusepack/ResourceAppender.h"

#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/ResourceDirectory.h"
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

}  // namespace
}  // namespace tavrelle::fusepack
