#include "platform/Shell.h"

#include "platform/linux/ChildProcess.h"
#include "platform/linux/ShellCommand.h"

namespace tavrelle {

namespace linux_platform {

std::vector<std::string> ShellOpenArguments(const std::string& target) {
  std::string argument = (!target.empty() && target.front() == '-') ? "./" + target : target;
  return {"xdg-open", argument};
}

}  // namespace linux_platform

void ShellOpen(const std::string& target) {
  linux_platform::StartDetachedProgram(linux_platform::ShellOpenArguments(target));
}

}  // namespace tavrelle
