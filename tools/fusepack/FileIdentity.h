#pragma once

#include <optional>
#include <string>

#include <sys/types.h>

namespace tavrelle::fusepack {

// Which file a path leads to (links followed), to recognise one file under two names.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Nothing when the path cannot be examined.
[[nodiscard]] std::optional<FileIdentity> IdentityOf(const std::string& path);
[[nodiscard]] FileIdentity IdentityOf(int descriptor);

}  // namespace tavrelle::fusepack
