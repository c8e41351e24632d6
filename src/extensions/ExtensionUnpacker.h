#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tavrelle {

// The file operations the unpacking needs.
struct ExtensionFileWriter {
  // Deletes the folder with all its content and creates it again, missing parents too.
  std::function<bool(const std::string& folder)> recreateFolder;
  // Writes `bytes` as the file `folder` + `name`, creating the sub-folders the name
  // holds; false when the file cannot be written.
  std::function<bool(const std::string& folder, const std::string& name,
                     std::span<const std::byte> bytes)>
      writeFileBelow;
};

// True when the bundle entry name stays inside the folder it is unpacked into: not
// empty, no leading "/", no "." or ".." component, no empty component, no NUL.
[[nodiscard]] bool IsSafeEntryName(std::string_view name);

// Empties the extension folder and unpacks the packed extension files (an asset
// bundle, or nothing) into it. Throws when the bundle is rejected, names a file that
// would lie outside the folder (nothing is written then), or a file cannot be written.
void UnpackExtensions(std::optional<std::span<const std::byte>> packed,
                      const std::string& extensionFolder, const ExtensionFileWriter& files);

}  // namespace tavrelle
