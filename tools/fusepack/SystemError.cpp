#include "fusepack/SystemError.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tavrelle::fusepack {

std::string LastSystemError() { return std::strerror(errno); }

void ThrowSystemError(const std::string& what) {
  throw std::runtime_error(what + ": " + LastSystemError() + ".");
}

}  // namespace tavrelle::fusepack
