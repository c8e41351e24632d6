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

// Every start-up port, faked: the app lives in /opt/game/, resources and files are maps,
// a mapped file is a real mapping of a temporary copy, images decode when their bytes
// begin with "PNG" (to an image as wide as the byte count).
class FakeStartupPorts {
 public:
  FakeStartupPorts() : ports_(runtime, loop) {
    ports_.executablePath = [] { return std::string("/opt/game/tavrelle"); };
    ports_.loadResourceData =
        [this](const std::string& type,
               const std::string& name) -> std::optional<std::span<const std::byte>> {
      const auto found = resources.find(name);
      if (type != "ZephyxData" || found == resources.end() || found->second.empty()) return {};
      return std::as_bytes(std::span(found->second));
    };
    ports_.readWholeFile = [this](const std::string& path) -> std::optional<std::string> {
      filesRead.push_back(path);
      return files.contains(path) ? std::optional(files.at(path)) : std::nullopt;
    };
    ports_.fileExists = [this](const std::string& path) {
      return files.contains(path) || folders.contains(path);
    };
    ports_.mapFile = [this](const std::string& path) -> std::shared_ptr<const MappedFile> {
      filesMapped.push_back(path);
      if (!files.contains(path)) return nullptr;
      auto mapping = MappedFile::open(
          mappedCopies_.writeFile("mapped" + std::to_string(filesMapped.size()), files.at(path)));
      lastMapping = mapping;
      return mapping;
    };
    ports_.localAppDataFolder = [] { return std::string("/home/player/.local/share"); };
    ports_.showMessageBox = [this](const std::string& text, const std::string& caption,
                                   MessageBoxIcon icon) {
      log->add("messageBox");
      messageBoxes.push_back({text, caption, icon});
    };
    ports_.shellOpen = [this](const std::string& target) {
      log->add("shellOpen");
      shellOpened.push_back(target);
    };
    ports_.setEnvironmentVariable = [](const std::string&, const std::string&) {};
    ports_.decodeImage = [](std::span<const std::byte> bytes) {
      return decode({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    };
    ports_.decodeImageFile = [this](const std::string& path) -> std::optional<Image> {
      return files.contains(path) ? decode(files.at(path)) : std::nullopt;
    };
    ports_.extensionFiles.recreateFolder = [this](const std::string& folder) {
      std::erase_if(writtenFiles, [&](const auto& file) { return file.first.starts_with(folder); });
      return true;
    };
    ports_.extensionFiles.writeFileBelow = [this](const std::string& folder,
                                                  const std::string& name,
                                                  std::span<const std::byte> bytes) {
      if (failWrites) return false;
      writtenFiles[folder + name].assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      return true;
    };
    ports_.loadLibrary = [this](const std::string& path) -> std::unique_ptr<SharedLibrary> {
      return libraryLoader ? libraryLoader(path) : nullptr;
    };
    ports_.connectWindowSystem = [this]() -> WindowSystem* {
      log->add("windowSystem.connect");
      return failConnect ? nullptr : &windowSystem;
    };
  }

  [[nodiscard]] StartupPorts& ports() { return ports_; }
  // A file in the app folder (relative path) or anywhere (absolute path).
  void addFile(const std::string& path, std::string content) {
    files[path.starts_with("/") ? path : "/opt/game/" + path] = std::move(content);
  }
  void addResource(const std::string& name, std::string content) {
    resources[name] = std::move(content);
  }
  [[nodiscard]] FakeMainWindow* window() const { return windowSystem.window; }

  std::shared_ptr<CallLog> log = std::make_shared<CallLog>();
  FakeWebViewRuntime runtime{log};
  FakeEventLoop loop;
  FakeWindowSystem windowSystem{log};

  std::map<std::string, std::string> resources;  // of type "ZephyxData"
  std::map<std::string, std::string> files;      // full path -> content
  std::set<std::string> folders;
  bool failConnect = false;
  bool failWrites = false;
  std::map<std::string, std::string> writtenFiles;  // unpacked extension files
  LibraryLoader libraryLoader;                      // none: no library loads

  std::vector<std::string> filesRead;
  std::vector<std::string> filesMapped;
  std::vector<MessageBoxCall> messageBoxes;
  std::vector<std::string> shellOpened;
  std::weak_ptr<const MappedFile> lastMapping;

 private:
  static std::optional<Image> decode(const std::string& bytes) {
    if (!bytes.starts_with("PNG")) return std::nullopt;
    return Image{static_cast<int32_t>(bytes.size()), 1, std::vector<uint32_t>(bytes.size())};
  }

  TempDir mappedCopies_;
  StartupPorts ports_;
};

}  // namespace tavrelle::test
