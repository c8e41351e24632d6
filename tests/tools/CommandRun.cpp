#include "tools/CommandRun.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tavrelle::test {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

namespace {

std::string ShellQuoted(const std::string& argument) {
  std::string quoted = "'";
  for (const char c : argument) {
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  }
  return quoted + "'";
}

}  // namespace

CommandResult RunCommand(const TempDir& scratch, const std::string& program,
                         const std::vector<std::string>& arguments) {
  std::string command = ShellQuoted(program);
  for (const std::string& argument : arguments) {
    command += " " + ShellQuoted(argument);
  }
  const std::string out = scratch.pathOf("run.out");
  const std::string err = scratch.pathOf("run.err");
  const std::string code = scratch.pathOf("run.code");
  // The exit code travels through a file so that no wait-status decoding is needed.
  command += " >" + ShellQuoted(out) + " 2>" + ShellQuoted(err) + " </dev/null; echo $? >" +
             ShellQuoted(code);
  if (std::system(command.c_str()) != 0) {
    return {};
  }
  return CommandResult{std::stoi(ReadAll(code)), ReadAll(out), ReadAll(err)};
}

}  // namespace tavrelle::test
