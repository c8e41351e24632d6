#include "platform/chromium/PosixExecutableLookup.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace tavrelle::chromium {

bool PosixExecutableLookup::isExecutableFile(const std::string& path) const {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string PosixExecutableLookup::searchPath() const {
  const char* path = std::getenv("PATH");
  return path ? path : "";
}

}  // namespace tavrelle::chromium
