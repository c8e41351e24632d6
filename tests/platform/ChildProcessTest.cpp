#include "platform/linux/ChildProcess.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

TEST(ChildProcess, RunsWithoutShellAndReportsTheExitStatus) {
  pid_t pid = StartProgram({"sh", "-c", "exit 7"}, true);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgram(pid), 7);
}

TEST(ChildProcess, ArgumentsArePassedUnchanged) {
  // test(1) compares its two arguments: the text arrives as one argument, unexpanded.
  std::string tricky = "a b $(false) `false`; *";
  pid_t pid = StartProgram({"test", tricky, "=", tricky}, true);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgram(pid), 0);
}

TEST(ChildProcess, StandardInputText) {
  std::string text = "hello there";
  pid_t pid = StartProgram({"sh", "-c", "read line; test \"$line\" = 'hello there'"}, true, &text);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgram(pid), 0);
}

TEST(ChildProcess, ProgramThatIgnoresItsInputDoesNotHurt) {
  std::string text(200000, 'x');  // more than a pipe holds
  pid_t pid = StartProgram({"true"}, true, &text);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgram(pid), 0);
}

TEST(ChildProcess, MissingProgram) {
  EXPECT_EQ(StartProgram({"tavrelle-no-such-program"}, true), -1);
  EXPECT_EQ(StartProgram({}, true), -1);
  EXPECT_FALSE(StartDetachedProgram({"tavrelle-no-such-program"}));
  EXPECT_FALSE(ProgramInPath("tavrelle-no-such-program"));
  EXPECT_TRUE(ProgramInPath("sh"));
  EXPECT_FALSE(ProgramInPath(""));
}

}  // namespace
}  // namespace tavrelle::linux_platform
