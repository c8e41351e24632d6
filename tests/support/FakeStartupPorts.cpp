#include "support/FakeStartupPorts.h"

#include <utility>

namespace tavrelle::test {

FakeStartupPorts::FakeStartupPorts() : ports_(runtime, loop) {
  ports_.executablePath = [this] { return executablePath; };
  ports_.loadResourceData = [this](const std::string& type, const std::string& name) {
    return loadResource(type, name);
  };
  ports_.readWholeFile = [this](const std::string& path) -> std::optional<std::string> {
    filesRead.push_back(path);
    const auto found = files.find(path);
    return found != files.end() ? std::optional(found->second) : std::nullopt;
  };
  ports_.fileExists = [this](const std::string& path) {
    return files.contains(path) || folders.contains(path);
  };
  ports_.mapFile = [this](const std::string& path) { return mapFile(path); };
  ports_.localAppDataFolder = [this] { return localAppData; };
  ports_.showMessageBox = [this](const std::string& text, const std::string& caption,
                                 MessageBoxIcon icon) {
    log->add("messageBox");
    messageBoxes.push_back({text, caption, icon});
  };
  ports_.shellOpen = [this](const std::string& target) {
    log->add("shellOpen");
    shellOpened.push_back(target);
  };
  ports_.setEnvironmentVariable = [this](const std::string& name, const std::string& value) {
    log->add("setEnvironmentVariable");
    environmentVariables.emplace_back(name, value);
  };
  ports_.decodeImage = [this](std::span<const std::byte> bytes) {
    std::string copy(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    imagesDecodedFromMemory.push_back(copy);
    return decode(copy);
  };
  ports_.decodeImageFile = [this](const std::string& path) -> std::optional<Image> {
    imagesDecodedFromFiles.push_back(path);
    const auto found = files.find(path);
    return found != files.end() ? decode(found->second) : std::nullopt;
  };
  ports_.connectWindowSystem = [this]() -> WindowSystem* {
    log->add("windowSystem.connect");
    return failConnect ? nullptr : &windowSystem;
  };
}

void FakeStartupPorts::addFile(const std::string& path, std::string content) {
  files[path.starts_with("/") ? path : kAppFolder + path] = std::move(content);
}

std::optional<std::span<const std::byte>> FakeStartupPorts::loadResource(const std::string& type,
                                                                         const std::string& name) {
  resourceQueries.push_back(type + "/" + name);
  const auto found = resources.find(name);
  if (type != "ZephyxData" || found == resources.end() || found->second.empty()) {
    return std::nullopt;
  }
  return std::span(reinterpret_cast<const std::byte*>(found->second.data()), found->second.size());
}

std::shared_ptr<const MappedFile> FakeStartupPorts::mapFile(const std::string& path) {
  filesMapped.push_back(path);
  const auto found = files.find(path);
  if (found == files.end()) {
    return nullptr;
  }
  const std::string copy =
      mappedCopies_.writeFile("mapped" + std::to_string(++mappedCount_), found->second);
  auto mapping = MappedFile::open(copy);
  lastMapping = mapping;
  return mapping;
}

std::optional<Image> FakeStartupPorts::decode(const std::string& bytes) const {
  if (!bytes.starts_with("PNG")) {
    return std::nullopt;
  }
  return Image{static_cast<int32_t>(bytes.size()), 1, std::vector<uint32_t>(bytes.size())};
}

}  // namespace tavrelle::test
