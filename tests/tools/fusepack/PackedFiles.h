#pragma once

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "content/BundleArchive.h"

namespace tavrelle::test {

using FileSet = std::map<std::string, std::string>;

inline std::string Text(std::span<const std::byte> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

// A resource's bytes, or "<none>" without one.
inline std::string Text(std::optional<std::span<const std::byte>> bytes) {
  return bytes ? Text(*bytes) : "<none>";
}

inline FileSet BundleFiles(std::span<const std::byte> bundle) {
  BundleArchive archive;
  archive.openMemory(bundle.data(), bundle.size());
  FileSet files;
  for (const std::string& name : archive.listPaths()) {
    const BundleFileInfo info = archive.lookup(name);
    files[name] = Text({archive.dataPointer(info.offset), info.size});
  }
  return files;
}

inline FileSet BundleFiles(const std::string& bundle) {
  return BundleFiles(std::as_bytes(std::span(bundle)));
}

inline std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace tavrelle::test
