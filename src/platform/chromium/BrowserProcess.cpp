#include "platform/chromium/BrowserProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

namespace tavrelle::chromium {

namespace {

// Descriptors the child maps onto 3 and 4 are first moved above them, so that no
// dup2 overwrites another.
constexpr int kFirstFreeFd = 10;

struct Pipe {
  int read = -1;
  int write = -1;
};

bool makePipe(Pipe& pipe) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  pipe.read = fcntl(fds[0], F_DUPFD_CLOEXEC, kFirstFreeFd);
  pipe.write = fcntl(fds[1], F_DUPFD_CLOEXEC, kFirstFreeFd);
  close(fds[0]);
  close(fds[1]);
  return pipe.read >= 0 && pipe.write >= 0;
}

void closeIfOpen(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

int openProcessFd(pid_t pid) {
#ifdef SYS_pidfd_open
  int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  if (fd >= 0) fcntl(fd, F_SETFD, FD_CLOEXEC);
  return fd;
#else
  (void)pid;
  return -1;
#endif
}

// Runs in the forked child: only async-signal-safe calls until exec.
[[noreturn]] void becomeBrowser(char* const* argv, int commandsFd, int repliesFd, int nullFd,
                                int logFd, int errorFd, pid_t parent) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int sig : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD}) sigaction(sig, &defaults, nullptr);

  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);  // the host died before the death signal was armed
  // Its own process group: a terminal's Ctrl+C reaches the host, which then closes the
  // browser in order.
  setpgid(0, 0);

  if (dup2(nullFd, STDIN_FILENO) < 0 || dup2(logFd, STDOUT_FILENO) < 0 ||
      dup2(logFd, STDERR_FILENO) < 0 || dup2(commandsFd, 3) < 0 || dup2(repliesFd, 4) < 0) {
    int error = errno;
    [[maybe_unused]] ssize_t n = write(errorFd, &error, sizeof error);
    _exit(127);
  }
  // Nothing of the host's but the pipes reaches the browser (errorFd closes on exec).
  if (errorFd > 5) syscall(SYS_close_range, 5u, static_cast<unsigned>(errorFd - 1), 0u);
  syscall(SYS_close_range, static_cast<unsigned>(errorFd + 1), ~0u, 0u);
  execv(argv[0], argv);
  int error = errno;
  [[maybe_unused]] ssize_t n = write(errorFd, &error, sizeof error);
  _exit(127);
}

}  // namespace

BrowserProcess::Launch BrowserProcess::launch(const std::vector<std::string>& argv,
                                              const std::string& logPath) {
  Launch result;
  if (argv.empty()) {
    result.error = "no browser executable";
    return result;
  }
  std::vector<char*> cArgs;
  cArgs.reserve(argv.size() + 1);
  for (const auto& arg : argv) cArgs.push_back(const_cast<char*>(arg.c_str()));
  cArgs.push_back(nullptr);

  Pipe commands, replies, execError;
  int nullFd = open("/dev/null", O_RDWR | O_CLOEXEC);
  int logFd =
      logPath.empty() ? -1 : open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (logFd < 0 && nullFd >= 0) logFd = fcntl(nullFd, F_DUPFD_CLOEXEC, kFirstFreeFd);
  auto closeAll = [&] {
    for (int* fd : {&commands.read, &commands.write, &replies.read, &replies.write, &execError.read,
                    &execError.write, &nullFd, &logFd}) {
      closeIfOpen(*fd);
    }
  };
  if (!makePipe(commands) || !makePipe(replies) || !makePipe(execError) || nullFd < 0 ||
      logFd < 0) {
    result.error = std::string("could not prepare the browser's pipes: ") + std::strerror(errno);
    closeAll();
    return result;
  }

  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) {
    result.error = std::string("fork failed: ") + std::strerror(errno);
    closeAll();
    return result;
  }
  if (pid == 0) {
    becomeBrowser(cArgs.data(), commands.read, replies.write, nullFd, logFd, execError.write,
                  parent);
  }

  closeIfOpen(execError.write);
  int execErrno = 0;
  ssize_t got;
  do {
    got = read(execError.read, &execErrno, sizeof execErrno);
  } while (got < 0 && errno == EINTR);
  result.process.reset(new BrowserProcess(pid, openProcessFd(pid)));
  if (got > 0) {
    result.process->waitForExit(std::chrono::seconds(1));
    result.process.reset();
    result.error = "could not start " + argv[0] + ": " + std::strerror(execErrno);
    closeAll();
    return result;
  }
  result.toBrowserFd = commands.write;
  result.fromBrowserFd = replies.read;
  commands.write = -1;
  replies.read = -1;
  closeAll();
  return result;
}

BrowserProcess::~BrowserProcess() {
  if (!pollExited()) {
    signal(SIGKILL);
    waitForExit(std::chrono::seconds(5));
  }
  if (pidFd_ >= 0) close(pidFd_);
}

void BrowserProcess::recordStatus(int status) {
  exited_ = true;
  if (WIFEXITED(status)) {
    exitDescription_ = "exited with code " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    exitDescription_ = "killed by signal " + std::to_string(WTERMSIG(status));
  } else {
    exitDescription_ = "ended";
  }
}

bool BrowserProcess::pollExited() {
  if (exited_) return true;
  int status = 0;
  pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    recordStatus(status);
  } else if (done < 0 && errno == ECHILD) {
    exited_ = true;  // reaped elsewhere
    exitDescription_ = "ended";
  }
  return exited_;
}

bool BrowserProcess::waitForExit(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!pollExited()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pidFd_ >= 0) {
      pollfd fd{pidFd_, POLLIN, 0};
      poll(&fd, 1, static_cast<int>(left.count()));
    } else {
      std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(10)));
    }
  }
  return true;
}

void BrowserProcess::signal(int signalNumber) {
  if (!pollExited()) ::kill(pid_, signalNumber);
}

}  // namespace tavrelle::chromium
