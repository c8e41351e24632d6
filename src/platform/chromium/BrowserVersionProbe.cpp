#include "platform/chromium/BrowserVersionProbe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>

extern char** environ;

namespace tavrelle::chromium {

bool isVersionText(const std::string& text) {
  if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front()))) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return false;
  }
  return true;
}

namespace {

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// Reads everything the child writes until it closes its end or the deadline passes.
bool readUntilClosed(int fd, std::string& out, std::chrono::steady_clock::time_point deadline) {
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) return false;
    if (out.size() < 1024) out.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

std::optional<std::string> probeBrowserVersion(const std::string& executable,
                                               std::chrono::milliseconds timeout) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string flag = "--product-version";
  char* argv[] = {const_cast<char*>(executable.c_str()), flag.data(), nullptr};
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return std::nullopt;
  }
  std::string output;
  bool complete = readUntilClosed(fds[0], output, std::chrono::steady_clock::now() + timeout);
  close(fds[0]);
  if (!complete) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::string version = trimmed(output);
  if (!complete || !isVersionText(version)) return std::nullopt;
  return version;
}

}  // namespace tavrelle::chromium
