#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace tavrelle::test {

// A game folder staged beside a copy of the host executable, the way a game ships.
class StagedGame {
 public:
  explicit StagedGame(const std::string& hostExecutable);
  // Writes a file of the game (package.json, www/...).
  void write(const std::string& relativePath, const std::string& bytes) const {
    dir_.writeFile(relativePath, bytes);
  }
  [[nodiscard]] std::string folder() const { return dir_.path(); }
  [[nodiscard]] std::string hostPath() const { return dir_.pathOf("tavrelle"); }
  // Everything the host's fake "xdg-open" was asked to open so far, one line each.
  [[nodiscard]] std::string opened() const { return ReadAll(dir_.pathOf("opened.log")); }
  // Replaces www/cmd.json with {"seq": seq, <member>} in one step, so a page polling it
  // never reads half a command.
  void command(int seq, const std::string& member) const;
  [[nodiscard]] std::string dataHome() const { return dir_.pathOf("data"); }

 private:
  TempDir dir_;
};

// The host running on a display (none when `display` is empty: start-up messages then
// go to standard error only, no dialog waits for a click), with standard error captured.
class HostProcess {
 public:
  // environment: "NAME=value" entries that replace the inherited ones, and bare "NAME"
  // entries that remove a variable.
  HostProcess(const StagedGame& game, const std::string& display,
              const std::vector<std::string>& environment = {});
  ~HostProcess();
  HostProcess(const HostProcess&) = delete;
  HostProcess& operator=(const HostProcess&) = delete;

  [[nodiscard]] pid_t pid() const { return pid_; }
  // Waits for the exit; the exit code, or nothing when it did not end in time.
  std::optional<int> waitForExit(std::chrono::milliseconds timeout);
  // Everything written to standard error so far.
  [[nodiscard]] std::string standardError() const { return ReadAll(stderrPath_); }

 private:
  pid_t pid_ = -1;
  std::string stderrPath_;
  std::optional<int> exitCode_;
};

}  // namespace tavrelle::test
