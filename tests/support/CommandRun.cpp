#include "support/CommandRun.h"

#include "platform/linux/ChildProcess.h"

namespace tavrelle::test {

CommandResult RunCommand(const TempDir& scratch, const std::string& program,
                         const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const std::string out = scratch.pathOf("run.out");
  const std::string err = scratch.pathOf("run.err");
  const pid_t pid = linux_platform::StartProgram(argv, {.stdoutFile = out, .stderrFile = err});
  if (pid < 0) return {};
  const int exitCode = linux_platform::WaitForProgram(pid);
  return CommandResult{exitCode, ReadAll(out), ReadAll(err)};
}

}  // namespace tavrelle::test
