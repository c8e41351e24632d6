#include "fusepack/AtomicOutputFile.h"

#include <cerrno>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fusepack/SystemError.h"

namespace tavrelle::fusepack {

namespace {

constexpr size_t kCopyBlockSize = 1 << 20;

// Closes the descriptor when leaving scope.
class ScopedDescriptor {
 public:
  explicit ScopedDescriptor(int descriptor) : descriptor_(descriptor) {}
  ScopedDescriptor(const ScopedDescriptor&) = delete;
  ScopedDescriptor& operator=(const ScopedDescriptor&) = delete;
  ~ScopedDescriptor() {
    if (descriptor_ >= 0) {
      ::close(descriptor_);
    }
  }
  [[nodiscard]] int get() const { return descriptor_; }

 private:
  int descriptor_;
};

// read() that retries after signals; -1 on failure.
ssize_t ReadSome(int descriptor, char* buffer, size_t size) {
  ssize_t count = 0;
  do {
    count = ::read(descriptor, buffer, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

unsigned CurrentUmask() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return mask;
}

}  // namespace

AtomicOutputFile::AtomicOutputFile(std::string path)
    : path_(std::move(path)), temporaryPath_(path_ + ".tmp-XXXXXX") {
  descriptor_ = ::mkostemp(temporaryPath_.data(), O_CLOEXEC);
  if (descriptor_ < 0) {
    ThrowSystemError("Cannot write '" + path_ + "'");
  }
}

AtomicOutputFile::~AtomicOutputFile() {
  closeDescriptor();
  if (!committed_) {
    ::unlink(temporaryPath_.c_str());
  }
}

void AtomicOutputFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(descriptor_, bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      ThrowSystemError("Cannot write '" + path_ + "'");
    }
    bytes.remove_prefix(static_cast<size_t>(count));
    written_ += static_cast<uint64_t>(count);
  }
}

void AtomicOutputFile::copyFrom(const std::string& sourcePath, uint64_t size,
                                const std::function<void(uint64_t)>& onCopied) {
  const ScopedDescriptor source(::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC));
  if (source.get() < 0) {
    ThrowSystemError("Cannot read '" + sourcePath + "'");
  }
  if (!copyBlock_) {
    copyBlock_ = std::make_unique_for_overwrite<char[]>(kCopyBlockSize);
  }
  uint64_t remaining = size;
  // One byte more than expected is asked for at the end, to notice a file that grew.
  while (true) {
    const size_t wanted =
        remaining < kCopyBlockSize ? static_cast<size_t>(remaining) + 1 : kCopyBlockSize;
    const ssize_t count = ReadSome(source.get(), copyBlock_.get(), wanted);
    if (count < 0) {
      ThrowSystemError("Cannot read '" + sourcePath + "'");
    }
    const auto got = static_cast<uint64_t>(count);
    if (got > remaining || (got == 0 && remaining > 0)) {
      throw std::runtime_error("'" + sourcePath + "' changed while it was being packed.");
    }
    if (got == 0) {
      return;
    }
    write(std::string_view(copyBlock_.get(), static_cast<size_t>(got)));
    remaining -= got;
    if (onCopied) {
      onCopied(got);
    }
  }
}

void AtomicOutputFile::commit(unsigned permissions) {
  if (::fchmod(descriptor_, permissions & ~CurrentUmask()) != 0 || ::fsync(descriptor_) != 0) {
    ThrowSystemError("Cannot write '" + path_ + "'");
  }
  closeDescriptor();
  if (::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    ThrowSystemError("Cannot write '" + path_ + "'");
  }
  committed_ = true;
}

void AtomicOutputFile::closeDescriptor() {
  if (descriptor_ >= 0) {
    ::close(descriptor_);
    descriptor_ = -1;
  }
}

}  // namespace tavrelle::fusepack
