#include "platform/linux/ChildProcess.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "support/TempDir.h"

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

TEST(ChildProcess, OptionsSetTheChildsWorldAndStopEndsIt) {
  const test::TempDir dir;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t pid = StartProgram(
      {"sh", "-c", "pwd; printf \"$TAVRELLE_CHILD\" >&2; printf x >&3; test -z \"$HOME\""},
      {.stdoutFile = dir.pathOf("out"),
       .stderrFile = dir.pathOf("err"),
       .environment = EnvironmentWith({{"TAVRELLE_CHILD", "seen"}, {"HOME", ""}}),
       .workingFolder = "/",
       .passedDescriptors = {fds[1]}});
  close(fds[1]);
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgramFor(pid, std::chrono::seconds(60)), 0);
  char passed = 0;
  EXPECT_EQ(read(fds[0], &passed, 1), 1);
  EXPECT_EQ(passed, 'x');
  close(fds[0]);
  EXPECT_EQ(test::ReadAll(dir.pathOf("out")), "/\n");
  EXPECT_EQ(test::ReadAll(dir.pathOf("err")), "seen");

  pid = StartProgram({"sleep", "600"}, {.quiet = true});
  ASSERT_GT(pid, 0);
  EXPECT_EQ(WaitForProgramFor(pid, std::chrono::milliseconds(50)), std::nullopt);
  StopProgram(pid);
  EXPECT_EQ(WaitForProgramFor(pid, std::chrono::milliseconds(0)), std::nullopt);  // reaped
}

}  // namespace
}  // namespace tavrelle::linux_platform
