#include "platform/linux/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pthread.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <thread>

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

// The strings as a null-terminated vector of pointers, as the exec functions take them.
std::vector<char*> Pointers(const std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (const std::string& s : strings) pointers.push_back(const_cast<char*>(s.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

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
  return StartProgram(argv, ProgramOptions{.stdinText = stdinText, .quiet = quiet});
}

pid_t StartProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
  if (argv.empty()) return -1;
  std::vector<char*> args = Pointers(argv);
  std::vector<char*> env;
  if (options.environment) env = Pointers(*options.environment);

  int input[2] = {-1, -1};
  if (options.stdinText != nullptr && pipe2(input, O_CLOEXEC) != 0) return -1;
  // Copies of the passed descriptors above their targets, so that no target overwrites
  // a source still to be moved.
  const int firstFree = STDERR_FILENO + 1 + static_cast<int>(options.passedDescriptors.size());
  std::vector<int> passed;
  for (int fd : options.passedDescriptors) passed.push_back(fcntl(fd, F_DUPFD_CLOEXEC, firstFree));

  SpawnSetup setup;
  if (options.stdinText != nullptr) {
    posix_spawn_file_actions_adddup2(&setup.actions, input[0], STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  auto redirect = [&](int fd, const std::optional<std::string>& file) {
    if (file) {
      posix_spawn_file_actions_addopen(&setup.actions, fd, file->c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    } else if (options.quiet) {
      posix_spawn_file_actions_addopen(&setup.actions, fd, "/dev/null", O_WRONLY, 0);
    }
  };
  redirect(STDOUT_FILENO, options.stdoutFile);
  redirect(STDERR_FILENO, options.stderrFile);
  for (size_t i = 0; i < passed.size(); ++i) {
    posix_spawn_file_actions_adddup2(&setup.actions, passed[i],
                                     STDERR_FILENO + 1 + static_cast<int>(i));
  }
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, firstFree);
  if (options.workingFolder) {
    posix_spawn_file_actions_addchdir_np(&setup.actions, options.workingFolder->c_str());
  }
  ResetSignals(setup.attributes);

  pid_t pid = -1;
  int failed = posix_spawnp(&pid, args[0], &setup.actions, &setup.attributes, args.data(),
                            options.environment ? env.data() : environ);
  for (int fd : passed) {
    if (fd >= 0) close(fd);
  }
  if (options.stdinText != nullptr) {
    close(input[0]);
    if (failed == 0) WriteAll(input[1], *options.stdinText);
    close(input[1]);
  }
  return failed == 0 ? pid : -1;
}

std::optional<int> WaitForProgramFor(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (done < 0 && errno != EINTR) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

void StopProgram(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (!WaitForProgramFor(pid, grace)) {
    kill(pid, SIGKILL);
    WaitForProgram(pid);
  }
}

std::vector<std::string> EnvironmentWith(
    const std::vector<std::pair<std::string, std::string>>& overrides) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view item(*entry);
    const bool replaced = std::any_of(overrides.begin(), overrides.end(), [&](const auto& o) {
      return item.starts_with(o.first + "=");
    });
    if (!replaced) entries.emplace_back(item);
  }
  for (const auto& [name, value] : overrides) {
    if (!value.empty()) entries.push_back(std::string(name).append("=").append(value));
  }
  return entries;
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
