#include "platform/linux/ChildProcess.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

int RunToEnd(const std::vector<std::string>& argv, const std::string* input = nullptr) {
  pid_t pid = StartProgram(argv, true, input);
  EXPECT_GT(pid, 0);
  return pid > 0 ? WaitForProgram(pid) : -1;
}

TEST(ChildProcess, RunsWithoutShellWithArgumentsAndInputUnchanged) {
  EXPECT_EQ(RunToEnd({"sh", "-c", "exit 7"}), 7);
  // test(1) compares its two arguments: the text arrives as one argument, unexpanded.
  std::string tricky = "a b $(false) `false`; *";
  EXPECT_EQ(RunToEnd({"test", tricky, "=", tricky}), 0);
  std::string text = "hello there";
  EXPECT_EQ(RunToEnd({"sh", "-c", "read line; test \"$line\" = 'hello there'"}, &text), 0);
  std::string unread(200000, 'x');  // more than a pipe holds, and never read
  EXPECT_EQ(RunToEnd({"true"}, &unread), 0);
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
