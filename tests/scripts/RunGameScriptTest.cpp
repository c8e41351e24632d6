// The helper behind `make run`.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tavrelle
