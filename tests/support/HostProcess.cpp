#include "support/HostProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace tavrelle::test {
namespace {

using Clock = std::chrono::steady_clock;

// An "xdg-open" that only records its argument, so links never reach a real browser.
constexpr const char* kFakeXdgOpen =
    "#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/../opened.log\"\n";

std::string_view VariableName(std::string_view entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> HostEnvironment(const StagedGame& game, const std::string& display,
                                         const std::vector<std::string>& overrides) {
  std::vector<std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view item(*entry);
    if (item.starts_with("DISPLAY=") || item.starts_with("XDG_DATA_HOME=") ||
        item.starts_with("PATH=")) {
      continue;
    }
    bool overridden = false;
    for (const auto& replacement : overrides)
      overridden = overridden || VariableName(replacement) == VariableName(item);
    if (!overridden) env.emplace_back(item);
  }
  for (const auto& replacement : overrides) {
    if (replacement.find('=') != std::string::npos) env.push_back(replacement);
  }
  const char* path = std::getenv("PATH");
  env.push_back("PATH=" + game.fakeBin() + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
  if (!display.empty()) env.push_back("DISPLAY=" + display);
  env.push_back("XDG_DATA_HOME=" + game.dataHome());
  return env;
}

}  // namespace

StagedGame::StagedGame(const std::string& hostExecutable) {
  std::filesystem::copy_file(hostExecutable, hostPath());
  dir_.writeFile("bin/xdg-open", kFakeXdgOpen);
  std::filesystem::permissions(dir_.pathOf("bin/xdg-open"), std::filesystem::perms::owner_all);
}

void StagedGame::write(const std::string& relativePath, const std::string& bytes) const {
  dir_.writeFile(relativePath, bytes);
}

HostProcess::HostProcess(const StagedGame& game, const std::string& display,
                         const std::vector<std::string>& environment)
    : stderrPath_(game.folder() + "/stderr.log") {
  std::vector<std::string> env = HostEnvironment(game, display, environment);
  std::vector<char*> envp;
  for (auto& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string host = game.hostPath();
  char* argv[] = {host.data(), nullptr};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  // A different working folder proves the host finds its files beside its executable.
  posix_spawn_file_actions_addchdir_np(&actions, "/");
  if (posix_spawn(&pid_, host.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
}

HostProcess::~HostProcess() {
  if (pid_ <= 0 || exitCode_) return;
  kill(pid_, SIGTERM);
  if (!waitForExit(std::chrono::seconds(5))) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

std::optional<int> HostProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (exitCode_ || pid_ <= 0) return exitCode_;
  auto deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return exitCode_;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return std::nullopt;
}

std::string HostProcess::standardError() const {
  std::ifstream in(stderrPath_);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace tavrelle::test
