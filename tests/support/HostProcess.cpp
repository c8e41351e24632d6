#include "support/HostProcess.h"

#include <cstdlib>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/linux/ChildProcess.h"

namespace tavrelle::test {
namespace {

// An "xdg-open" that only records its argument, so links never reach a real browser.
constexpr const char* kFakeXdgOpen =
    "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/../opened.log\"\n";

std::vector<std::string> HostEnvironment(const StagedGame& game, const std::string& display,
                                         const std::vector<std::string>& overrides) {
  const char* path = std::getenv("PATH");
  std::map<std::string, std::string> variables{
      {"PATH", game.folder() + "/bin" + ":" + (path != nullptr ? path : "/usr/bin:/bin")},
      {"DISPLAY", display},
      {"XDG_DATA_HOME", game.dataHome()}};
  // "NAME=value" sets a variable, a bare "NAME" removes it; a later entry wins.
  for (const std::string& entry : overrides) {
    const size_t equals = entry.find('=');
    variables[entry.substr(0, equals)] =
        equals == std::string::npos ? "" : entry.substr(equals + 1);
  }
  return linux_platform::EnvironmentWith({variables.begin(), variables.end()});
}

}  // namespace

StagedGame::StagedGame(const std::string& hostExecutable) {
  std::filesystem::copy_file(hostExecutable, hostPath());
  dir_.writeFile("bin/xdg-open", kFakeXdgOpen);
  std::filesystem::permissions(dir_.pathOf("bin/xdg-open"), std::filesystem::perms::owner_all);
}

void StagedGame::command(int seq, const std::string& member) const {
  dir_.writeFile("www/cmd.json.tmp", "{\"seq\":" + std::to_string(seq) + "," + member + "}");
  std::filesystem::rename(dir_.pathOf("www/cmd.json.tmp"), dir_.pathOf("www/cmd.json"));
}

HostProcess::HostProcess(const StagedGame& game, const std::string& display,
                         const std::vector<std::string>& environment)
    : stderrPath_(game.folder() + "/stderr.log") {
  // A different working folder proves the host finds its files beside its executable.
  pid_ = linux_platform::StartProgram({game.hostPath()},
                                      {.quiet = true,
                                       .stderrFile = stderrPath_,
                                       .environment = HostEnvironment(game, display, environment),
                                       .workingFolder = "/"});
}

HostProcess::~HostProcess() {
  if (pid_ > 0 && !exitCode_) linux_platform::StopProgram(pid_, std::chrono::seconds(30));
}

std::optional<int> HostProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (!exitCode_ && pid_ > 0) exitCode_ = linux_platform::WaitForProgramFor(pid_, timeout);
  return exitCode_;
}

}  // namespace tavrelle::test
