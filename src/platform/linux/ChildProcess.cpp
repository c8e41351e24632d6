#include "platform/linux/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>

#include <cerrno>
#include <cstdlib>

#include "platform/linux/ChildReaper.h"

extern char** environ;

namespace tavrelle::linux_platform {

namespace {

// posix_spawn's attributes and file actions, released on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions{};
  posix_spawnattr_t attributes{};

  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

void WriteBlocked(int fd, const std::string& text);

void ResetSignals(posix_spawnattr_t& attributes) {
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
}

// Writes to a pipe whose reader may already be gone, without dying of SIGPIPE: the
// signal is blocked on this thread meanwhile and a pending one is taken back.
void WriteAll(int fd, const std::string& text) {
  sigset_t pipeSignal;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  WriteBlocked(fd, text);
  timespec noWait{};
  while (sigtimedwait(&pipeSignal, nullptr, &noWait) == SIGPIPE) {
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

void WriteBlocked(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t written = write(fd, text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<size_t>(written);
  }
}

}  // namespace

pid_t StartProgram(const std::vector<std::string>& argv, bool quiet, const std::string* stdinText) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int input[2] = {-1, -1};
  if (stdinText != nullptr && pipe2(input, O_CLOEXEC) != 0) return -1;

  SpawnSetup setup;
  if (stdinText != nullptr) {
    posix_spawn_file_actions_adddup2(&setup.actions, input[0], STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  if (quiet) {
    posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, STDERR_FILENO + 1);
  ResetSignals(setup.attributes);

  pid_t pid = -1;
  int failed = posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(), environ);
  if (stdinText != nullptr) {
    close(input[0]);
    if (failed == 0) WriteAll(input[1], *stdinText);
    close(input[1]);
  }
  return failed == 0 ? pid : -1;
}

int WaitForProgram(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool StartDetachedProgram(const std::vector<std::string>& argv) {
  pid_t pid = StartProgram(argv, true);
  if (pid < 0) return false;
  ChildReaper::instance().adopt(pid);
  return true;
}

bool ProgramInPath(const std::string& name) {
  if (name.empty()) return false;
  if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    if (dir.empty()) dir = ".";
    dir.append("/").append(name);
    if (access(dir.c_str(), X_OK) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace tavrelle::linux_platform
