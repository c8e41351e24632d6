#pragma once

// The runtime locator's ports over this machine: the process environment and its
// executable, the file system (optionally below a root folder, so a test can stand a
// prepared tree in for /opt, /usr and /etc), the privilege question and child processes.

#include <memory>
#include <string>

#include "runtime/LocatorPorts.h"

namespace tavrelle {
class EventLoop;
}

namespace tavrelle::linux_platform {

class PosixLocatorEnvironment final : public runtime::LocatorEnvironment {
 public:
  [[nodiscard]] std::optional<std::string> variable(const std::string& name) const override;
  [[nodiscard]] std::variant<std::string, runtime::HResult> executablePath() const override;
};

// Every absolute path is taken below root ("" for the real file system).
class PosixLocatorFiles final : public runtime::LocatorFiles {
 public:
  explicit PosixLocatorFiles(std::string root = {}) : root_(std::move(root)) {}
  [[nodiscard]] runtime::FileKind kindOf(const std::string& path) const override;
  [[nodiscard]] bool canExecuteAndRead(const std::string& path) const override;
  [[nodiscard]] std::optional<runtime::FileStamp> stampOf(const std::string& path) const override;
  [[nodiscard]] std::optional<std::string> readText(const std::string& path,
                                                    size_t maxBytes) const override;
  bool writeTextReplacing(const std::string& path, const std::string& text) override;

 private:
  [[nodiscard]] std::string real(const std::string& path) const { return root_ + path; }
  std::string root_;
};

class PosixProcessRunner final : public runtime::ProcessRunner {
 public:
  std::optional<std::string> outputOf(const std::string& executable,
                                      const std::vector<std::string>& arguments,
                                      std::chrono::milliseconds timeout) override;
};

// Raised privileges: the effective user is root, or the process was started set-user-id
// or set-group-id (the loader's secure mode).
[[nodiscard]] bool IsProcessElevated();

// The locator's Linux ports, with diagnostics and trace lines on standard error.
class LinuxLocatorPorts {
 public:
  explicit LinuxLocatorPorts(EventLoop& loop, std::string fileRoot = {});
  [[nodiscard]] runtime::LocatorPorts ports();

 private:
  EventLoop& loop_;
  PosixLocatorEnvironment environment_;
  PosixLocatorFiles files_;
  PosixProcessRunner processes_;
};

}  // namespace tavrelle::linux_platform
