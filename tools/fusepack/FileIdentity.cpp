#include "fusepack/FileIdentity.h"

#include <sys/stat.h>

namespace tavrelle::fusepack {

std::optional<FileIdentity> IdentityOf(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

FileIdentity IdentityOf(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    return {};
  }
  return FileIdentity{status.st_dev, status.st_ino};
}

}  // namespace tavrelle::fusepack
