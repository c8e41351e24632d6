#include "fusepack/MappedInput.h"

#include <stdexcept>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fusepack/SystemError.h"

namespace tavrelle::fusepack {

namespace {

// Builds the message before close() can change errno.
[[noreturn]] void CloseAndFail(int descriptor, const std::string& message) {
  ::close(descriptor);
  throw std::runtime_error(message);
}

}  // namespace

MappedInput::MappedInput(const std::string& path) {
  const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) {
    ThrowSystemError("Cannot open '" + path + "'");
  }
  struct stat status {};
  if (::fstat(descriptor, &status) != 0) {
    CloseAndFail(descriptor, "Cannot open '" + path + "': " + LastSystemError() + ".");
  }
  if (!S_ISREG(status.st_mode)) {
    CloseAndFail(descriptor, "'" + path + "' is not a file.");
  }
  size_ = static_cast<size_t>(status.st_size);
  if (size_ > 0) {
    void* mapping = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, descriptor, 0);
    if (mapping == MAP_FAILED) {
      CloseAndFail(descriptor, "Cannot map '" + path + "': " + LastSystemError() + ".");
    }
    data_ = static_cast<const std::byte*>(mapping);
  }
  ::close(descriptor);
}

MappedInput::~MappedInput() {
  if (data_ != nullptr) {
    ::munmap(const_cast<std::byte*>(data_), size_);
  }
}

}  // namespace tavrelle::fusepack
