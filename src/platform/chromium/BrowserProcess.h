#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tavrelle::chromium {

// The browser as a child process of the host. Its fd 3 reads the host's commands and
// its fd 4 carries the replies back (--remote-debugging-pipe); its standard streams go
// to a log file. The child gets SIGTERM when the thread that launched it dies, so the
// browser never outlives the host: launch it from the main thread.
class BrowserProcess {
 public:
  struct Launch {
    std::unique_ptr<BrowserProcess> process;
    int toBrowserFd = -1;    // the host's end of the command pipe
    int fromBrowserFd = -1;  // the host's end of the reply pipe
    std::string error;       // why nothing was launched
  };

  // argv[0] is the executable's path. logPath: where the browser's output goes
  // (empty: /dev/null).
  static Launch launch(const std::vector<std::string>& argv, const std::string& logPath);

  // Ends the process if it still runs (SIGKILL) and reaps it.
  ~BrowserProcess();
  BrowserProcess(const BrowserProcess&) = delete;
  BrowserProcess& operator=(const BrowserProcess&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // Readable once the process has exited; -1 when the kernel offers no process fds.
  [[nodiscard]] int exitFd() const { return pidFd_; }

  // Reaps the process if it has exited; true once it has.
  bool pollExited();
  // Waits at most `timeout` for the process to exit; true once it has.
  bool waitForExit(std::chrono::milliseconds timeout);
  void signal(int signalNumber);
  // How the process ended ("exited with code 0", "killed by signal 9"); empty while running.
  [[nodiscard]] const std::string& exitDescription() const { return exitDescription_; }

 private:
  BrowserProcess(pid_t pid, int pidFd) : pid_(pid), pidFd_(pidFd) {}
  void recordStatus(int status);

  pid_t pid_;
  int pidFd_;
  bool exited_ = false;
  std::string exitDescription_;
};

}  // namespace tavrelle::chromium
