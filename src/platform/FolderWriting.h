#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace tavrelle {

// Folders the host fills itself. Paths are UTF-8 with "/" separators; folders and the
// files in them are private to the user.

// Deletes `folder` with everything in it (links are removed, never followed) and
// creates it again, with any missing parent folders. False when it cannot be created.
bool RecreateFolder(const std::string& folder);

// Writes `bytes` as the file `folder` + `name` (replacing one that is there), creating
// the sub-folders that `name` holds. Links inside `folder` are never followed. `name`
// is relative with "/" separators and must not climb out ("..").
bool WriteFileBelow(const std::string& folder, const std::string& name,
                    std::span<const std::byte> bytes);

}  // namespace tavrelle
