#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fusepack/FileIdentity.h"

namespace tavrelle::fusepack {

struct SourceFile {
  std::string name;  // relative to the packed folder, "/" separated
  std::string path;  // where to read it
  uint64_t size = 0;
};

// Every regular file under `root`, sorted by name byte for byte. Links to files
// are followed; links to folders are not descended, so the walk cannot loop.
// Files that are one of `excluded` are left out. Throws a sentence when `root`
// is not a readable folder or a file cannot be examined.
[[nodiscard]] std::vector<SourceFile> CollectSourceFiles(const std::string& root,
                                                         const std::vector<FileIdentity>& excluded);

}  // namespace tavrelle::fusepack
