// The helper behind `make run` and the packager's place, as the README states them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"
#include "support/CommandRun.h"

namespace tavrelle {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;

// A fresh machine has no xvfb-run: the message gives the line that installs it.
TEST(RunGameScript, WithoutADisplayItSaysHowToGetAVirtualOne) {
  test::TempDir scratch;
  test::CommandResult run =
      test::RunCommand(scratch, "env",
                       {"-u", "DISPLAY", TAVRELLE_SOURCE_DIR "/scripts/run-game.sh", "/bin/true",
                        TAVRELLE_SOURCE_DIR "/examples/demo"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_THAT(run.err, ContainsRegex("\n  (sudo )?apt-get install -y xvfb xauth\n"));
  EXPECT_THAT(run.err, HasSubstr("\n  xvfb-run -a make run\n"));
}

TEST(RunGameScript, PackagerLiesBesideTheHostAsTheReadmeSays) {
  const std::filesystem::path packager(TAVRELLE_FUSEPACK);
  EXPECT_EQ(packager.filename(), "fusepack");
  EXPECT_EQ(packager.parent_path(), std::filesystem::path(TAVRELLE_BINARY_DIR));
  EXPECT_THAT(test::ReadAll(TAVRELLE_SOURCE_DIR "/README.md"), HasSubstr("build/fusepack bundle"));
}

}  // namespace
}  // namespace tavrelle
