#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tavrelle::linux_platform {

// Starts a program with an argument vector, never through a shell. The program is
// looked up in PATH when it has no slash. Descriptors above 2 are not inherited.
// stdinText: piped to the program's standard input when given (else /dev/null).
// Standard output and error go to /dev/null when quiet, else stay the host's.
// Returns the process id, or -1 when the program could not be started.
[[nodiscard]] pid_t StartProgram(const std::vector<std::string>& argv, bool quiet,
                                 const std::string* stdinText = nullptr);

// Waits for the process to end; its exit status, -1 when it did not exit normally.
int WaitForProgram(pid_t pid);

// Starts the program without waiting for it; the process's one reaper collects it.
bool StartDetachedProgram(const std::vector<std::string>& argv);

// Whether an executable of that name is found in PATH.
[[nodiscard]] bool ProgramInPath(const std::string& name);

}  // namespace tavrelle::linux_platform
