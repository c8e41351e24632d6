#include "platform/linux/PosixLocatorPorts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "platform/EventLoop.h"

extern char** environ;

namespace tavrelle::linux_platform {

namespace {

using runtime::FileKind;
using runtime::HResult;

HResult HResultFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return runtime::HResultFromError(runtime::kErrorFileNotFound);
    case EACCES:
    case EPERM:
      return runtime::HResultFromError(runtime::kErrorAccessDenied);
    default:
      return runtime::kFailed;
  }
}

// Reads everything the child writes until it closes its end or the deadline passes.
bool ReadUntilClosed(int fd, std::string& out, std::chrono::steady_clock::time_point deadline) {
  constexpr size_t kLargestAnswer = 1024;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) return true;
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (out.size() < kLargestAnswer) out.append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

// ----- Environment -----

std::optional<std::string> PosixLocatorEnvironment::variable(const std::string& name) const {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr || value[0] == '\0') return std::nullopt;
  return std::string(value);
}

std::variant<std::string, HResult> PosixLocatorEnvironment::executablePath() const {
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return HResultFromErrno(errno);
    if (static_cast<size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

// ----- Files -----

FileKind PosixLocatorFiles::kindOf(const std::string& path) const {
  struct stat info {};
  if (stat(real(path).c_str(), &info) != 0) return FileKind::Missing;
  if (S_ISDIR(info.st_mode)) return FileKind::Directory;
  if (S_ISREG(info.st_mode)) return FileKind::Regular;
  return FileKind::Other;
}

bool PosixLocatorFiles::canExecuteAndRead(const std::string& path) const {
  const std::string file = real(path);
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  if (access(file.c_str(), X_OK) != 0) return false;
  const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

std::optional<runtime::FileStamp> PosixLocatorFiles::stampOf(const std::string& path) const {
  struct stat info {};
  if (stat(real(path).c_str(), &info) != 0) return std::nullopt;
  return runtime::FileStamp{
      static_cast<uint64_t>(info.st_size),
      static_cast<int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::optional<std::string> PosixLocatorFiles::readText(const std::string& path,
                                                       size_t maxBytes) const {
  const std::string file = real(path);
  struct stat info {};
  if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<uint64_t>(info.st_size) > maxBytes) {
    return std::nullopt;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad() || text.str().size() > maxBytes) return std::nullopt;
  return text.str();
}

bool PosixLocatorFiles::writeTextReplacing(const std::string& path, const std::string& text) {
  namespace fs = std::filesystem;
  const fs::path file = real(path);
  std::error_code error;
  fs::create_directories(file.parent_path(), error);
  if (error) return false;
  chmod(file.parent_path().c_str(), 0700);
  const fs::path temporary = file.string() + ".tmp" + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
      fs::remove(temporary, error);
      return false;
    }
  }
  fs::rename(temporary, file, error);
  if (error) fs::remove(temporary, error);
  return !error;
}

// ----- Processes -----

std::optional<std::string> PosixProcessRunner::outputOf(const std::string& executable,
                                                        const std::vector<std::string>& arguments,
                                                        std::chrono::milliseconds timeout) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return std::nullopt;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> argvText{executable};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(argvText.size() + 1);
  for (auto& argument : argvText) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int spawned =
      posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  if (spawned != 0) {
    close(fds[0]);
    return std::nullopt;
  }
  std::string output;
  const bool complete = ReadUntilClosed(fds[0], output, std::chrono::steady_clock::now() + timeout);
  close(fds[0]);
  if (!complete) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}

// ----- Privileges -----

bool IsProcessElevated() { return geteuid() == 0 || getauxval(AT_SECURE) != 0; }

// ----- All together -----

LinuxLocatorPorts::LinuxLocatorPorts(EventLoop& loop, std::string fileRoot)
    : loop_(loop), files_(std::move(fileRoot)) {}

runtime::LocatorPorts LinuxLocatorPorts::ports() {
  runtime::LocatorPorts ports;
  ports.environment = &environment_;
  ports.files = &files_;
  ports.processes = &processes_;
  ports.isElevated = IsProcessElevated;
  ports.debugOutput = [](std::string_view text) { std::cerr << text << std::flush; };
  ports.traceOutput = [](std::string_view event) { std::cerr << event << '\n' << std::flush; };
  EventLoop& loop = loop_;
  ports.post = [&loop](std::function<void()> task) { loop.post(std::move(task)); };
  return ports;
}

}  // namespace tavrelle::linux_platform
