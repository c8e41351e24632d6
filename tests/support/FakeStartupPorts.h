#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "support/CallLog.h"
#include "support/FakeEventLoop.h"
#include "support/FakeWebViewRuntime.h"
#include "support/FakeWindowSystem.h"
#include "support/TempDir.h"

namespace tavrelle::test {

struct MessageBoxCall {
  std::string text;
  std::string caption;
  MessageBoxIcon icon = MessageBoxIcon::Error;
};

// Every start-up port, faked: resources and files are maps, a mapped file is a real
// mapping of a temporary copy, images decode when their bytes begin with "PNG".
class FakeStartupPorts {
 public:
  static constexpr const char* kAppFolder = "/opt/game/";
  static constexpr const char* kLocalAppData = "/home/player/.local/share";

  FakeStartupPorts();

  [[nodiscard]] StartupPorts& ports() { return ports_; }

  // A file in the app folder (relative path) or anywhere (absolute path).
  void addFile(const std::string& path, std::string content);
  void addFolder(const std::string& path) { folders.insert(path); }
  void addResource(const std::string& name, std::string content) {
    resources[name] = std::move(content);
  }
  [[nodiscard]] FakeMainWindow* window() const { return windowSystem.window; }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  FakeWebViewRuntime runtime{log};
  FakeEventLoop loop;
  FakeWindowSystem windowSystem{log};

  std::string executablePath = std::string(kAppFolder) + "tavrelle";
  std::string localAppData = kLocalAppData;
  std::map<std::string, std::string> resources;  // of type "ZephyxData"
  std::map<std::string, std::string> files;      // full path -> content
  std::set<std::string> folders;
  bool failConnect = false;

  std::vector<std::string> resourceQueries;  // "type/name"
  std::vector<std::string> filesRead;
  std::vector<std::string> filesMapped;
  std::vector<std::string> imagesDecodedFromFiles;
  std::vector<std::string> imagesDecodedFromMemory;  // the bytes
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<std::string> shellOpened;
  std::vector<std::pair<std::string, std::string>> environmentVariables;
  std::weak_ptr<const MappedFile> lastMapping;

 private:
  std::optional<std::span<const std::byte>> loadResource(const std::string& type,
                                                         const std::string& name);
  std::shared_ptr<const MappedFile> mapFile(const std::string& path);
  std::optional<Image> decode(const std::string& bytes) const;

  TempDir mappedCopies_;
  int mappedCount_ = 0;
  StartupPorts ports_;
};

}  // namespace tavrelle::test
