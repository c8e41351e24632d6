#pragma once

// What the runtime locator needs from the machine: small ports, so that every rule of
// the search can run against a prepared folder tree and fakes.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/HResult.h"

namespace tavrelle::runtime {

class LocatorEnvironment {
 public:
  virtual ~LocatorEnvironment() = default;
  // A variable's value; nothing when it is unset or empty.
  [[nodiscard]] virtual std::optional<std::string> variable(const std::string& name) const = 0;
  // The absolute path of the running executable, or why it cannot be read.
  [[nodiscard]] virtual std::variant<std::string, HResult> executablePath() const = 0;
};

enum class FileKind : uint8_t { Missing, Directory, Regular, Other };

struct FileStamp {
  uint64_t size = 0;
  int64_t modifiedNanoseconds = 0;
  bool operator==(const FileStamp&) const = default;
};

// Absolute paths throughout ("/..."); symbolic links are followed.
class LocatorFiles {
 public:
  virtual ~LocatorFiles() = default;
  [[nodiscard]] virtual FileKind kindOf(const std::string& path) const = 0;
  // A regular file this process may execute and can open for reading.
  [[nodiscard]] virtual bool canExecuteAndRead(const std::string& path) const = 0;
  [[nodiscard]] virtual std::optional<FileStamp> stampOf(const std::string& path) const = 0;
  // The whole file, when it is a readable regular file of at most maxBytes.
  [[nodiscard]] virtual std::optional<std::string> readText(const std::string& path,
                                                            size_t maxBytes) const = 0;
  // Replaces the file in one step, creating its folders (private to the user).
  virtual bool writeTextReplacing(const std::string& path, const std::string& text) = 0;
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;
  // Runs the program with the arguments and returns what it wrote to standard output
  // once it ended; nothing when it could not start or did not end within the timeout.
  virtual std::optional<std::string> outputOf(const std::string& executable,
                                              const std::vector<std::string>& arguments,
                                              std::chrono::milliseconds timeout) = 0;
};

struct LocatorPorts {
  LocatorEnvironment* environment = nullptr;
  LocatorFiles* files = nullptr;
  ProcessRunner* processes = nullptr;
  // Whether the process runs with raised privileges: it then ignores every environment
  // override and every per-user policy. Asked once.
  std::function<bool()> isElevated;
  // One diagnostic text, written as it stands (it carries its own line feeds).
  std::function<void(std::string_view)> debugOutput;
  // One telemetry event as a JSON text, when tracing is on.
  std::function<void(std::string_view)> traceOutput;
  // Runs a task later on the main thread.
  std::function<void(std::function<void()>)> post;
};

}  // namespace tavrelle::runtime
