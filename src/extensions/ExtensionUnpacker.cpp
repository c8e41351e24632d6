#include "extensions/ExtensionUnpacker.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "content/BundleArchive.h"

namespace tavrelle {

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos) {
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    const size_t end = std::min(name.find('/', start), name.size());
    const std::string_view component = name.substr(start, end - start);
    if (component.empty() || component == "." || component == "..") {
      return false;
    }
    start = end + 1;
  }
  return true;
}

namespace {

// Every name is checked before the first file is written.
std::vector<std::string> SafeEntryNames(const BundleArchive& bundle) {
  std::vector<std::string> names = bundle.listPaths();
  for (const std::string& name : names) {
    if (!IsSafeEntryName(name)) {
      throw std::runtime_error("extension file name leaves the folder");
    }
  }
  return names;
}

void WriteEntries(const BundleArchive& bundle, const std::string& extensionFolder,
                  const ExtensionFileWriter& files) {
  for (const std::string& name : SafeEntryNames(bundle)) {
    const BundleFileInfo entry = bundle.lookup(name);
    const std::span<const std::byte> bytes(bundle.dataPointer(entry.offset), entry.size);
    if (!files.writeFileBelow(extensionFolder, name, bytes)) {
      throw std::runtime_error("failed to write extension file");
    }
  }
}

}  // namespace

// The folder is emptied whether or not anything is packed, so nothing of an earlier
// run survives.
void UnpackExtensions(std::optional<std::span<const std::byte>> packed,
                      const std::string& extensionFolder, const ExtensionFileWriter& files) {
  files.recreateFolder(extensionFolder);
  if (!packed) {
    return;
  }
  BundleArchive bundle;
  bundle.openMemory(packed->data(), packed->size());
  WriteEntries(bundle, extensionFolder, files);
}

}  // namespace tavrelle
