#pragma once

#include <string>
#include <vector>

#include "support/TempDir.h"

namespace tavrelle::test {

struct CommandResult {
  int exitCode = -1;  // -1 when the program could not be run or did not exit normally
  std::string out;
  std::string err;
};

// Runs a program with its arguments (never through a shell), standard input empty, and
// captures its exit code (-1 when a signal ended it) and both output streams in files
// under `scratch`.
CommandResult RunCommand(const TempDir& scratch, const std::string& program,
                         const std::vector<std::string>& arguments);

}  // namespace tavrelle::test
