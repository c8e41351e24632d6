#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavrelle::linux_platform {

// Starts a program with an argument vector, never through a shell. The program is
// looked up in PATH when it has no slash. Descriptors above 2 are not inherited.
// stdinText: piped to the program's standard input when given (else /dev/null).
// Standard output and error go to /dev/null when quiet, else stay the host's.
// Returns the process id, or -1 when the program could not be started.
[[nodiscard]] pid_t StartProgram(const std::vector<std::string>& argv, bool quiet,
                                 const std::string* stdinText = nullptr);

// How a program started with StartProgram(argv, options) is set up.
struct ProgramOptions {
  const std::string* stdinText = nullptr;   // piped to standard input, else /dev/null
  bool quiet = false;                       // standard output and error to /dev/null
  std::optional<std::string> stdoutFile{};  // standard output into this file (truncated)
  std::optional<std::string> stderrFile{};  // standard error into this file (truncated)
  std::optional<std::vector<std::string>> environment{};  // "NAME=value"; none: the host's
  std::optional<std::string> workingFolder{};
  // Descriptors the child inherits, as 3, 4, ... in this order; all others above 2 are
  // closed.
  std::vector<int> passedDescriptors{};
};

[[nodiscard]] pid_t StartProgram(const std::vector<std::string>& argv,
                                 const ProgramOptions& options);

// Waits for the process to end; its exit status, -1 when it did not exit normally.
int WaitForProgram(pid_t pid);

// Waits at most `timeout`: the exit status (128 + the signal's number when a signal
// ended it), nothing while it still runs.
std::optional<int> WaitForProgramFor(pid_t pid, std::chrono::milliseconds timeout);

// Asks the process to end (SIGTERM), kills it when it has not within `grace`, and reaps it.
void StopProgram(pid_t pid, std::chrono::milliseconds grace = std::chrono::seconds(5));

// Environment entries ("NAME=value") of this process, with the named variables set to
// the given values (an empty value removes the variable).
[[nodiscard]] std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides);

// Starts the program without waiting for it; the process's one reaper collects it.
bool StartDetachedProgram(const std::vector<std::string>& argv);

// Whether an executable of that name is found in PATH.
[[nodiscard]] bool ProgramInPath(const std::string& name);

}  // namespace tavrelle::linux_platform
