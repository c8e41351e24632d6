#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/Files.h"

namespace tavrelle {
namespace {

std::optional<struct stat> StatPath(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return status;
}

// O_NONBLOCK keeps a FIFO from blocking the open; it changes nothing for the regular
// files that are accepted afterwards.
int OpenForReading(const std::string& path) {
  int descriptor = -1;
  do {
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (descriptor < 0 && errno == EINTR);
  return descriptor;
}

// The size of the regular file open on `descriptor`; nothing for anything else.
std::optional<uint64_t> RegularFileSize(int descriptor) {
  struct stat status {};
  if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(status.st_size);
}

// Reads until `out` is full or the file ends; -1 on an error.
ssize_t ReadFully(int descriptor, uint64_t offset, std::byte* out, size_t count) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got =
        ::pread(descriptor, out + done, count - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      return -1;
    }
    if (got == 0) {
      break;
    }
    done += static_cast<size_t>(got);
  }
  return static_cast<ssize_t>(done);
}

class DescriptorCloser {
 public:
  explicit DescriptorCloser(int descriptor) : descriptor_(descriptor) {}
  DescriptorCloser(const DescriptorCloser&) = delete;
  DescriptorCloser& operator=(const DescriptorCloser&) = delete;
  ~DescriptorCloser() { ::close(descriptor_); }

 private:
  int descriptor_;
};

}  // namespace

std::optional<std::string> CreatePrivateFolders(const std::string& path) {
  if (path.empty()) return std::string("no folder named");
  // Parents first: each prefix ending before a "/" is one folder of the path.
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string folder = path.substr(0, end);
    if (!folder.empty() && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
      return "could not create the folder " + folder + ": " + std::strerror(errno);
    }
    if (end == std::string::npos) break;
  }
  auto status = StatPath(path);
  if (!status || !S_ISDIR(status->st_mode)) return path + " is not a folder";
  return std::nullopt;
}

bool FileExists(const std::string& path) { return StatPath(path).has_value(); }

bool IsRegularFile(const std::string& path) {
  const std::optional<struct stat> status = StatPath(path);
  return status && S_ISREG(status->st_mode);
}

std::optional<uint64_t> FileSize(const std::string& path) {
  const std::optional<struct stat> status = StatPath(path);
  if (!status || !S_ISREG(status->st_mode)) {
    return std::nullopt;
  }
  return static_cast<uint64_t>(status->st_size);
}

int32_t GetFileSize32(const std::string& path) {
  const std::optional<uint64_t> size = FileSize(path);
  if (!size || *size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
    return 0;
  }
  return static_cast<int32_t>(*size);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) {
    return std::nullopt;
  }
  DescriptorCloser closer(descriptor);
  const std::optional<uint64_t> expectedSize = RegularFileSize(descriptor);
  if (!expectedSize) {
    return std::nullopt;
  }
  // The size from fstat is only a hint: read until the end actually arrives.
  constexpr size_t kBlock = size_t{64} * 1024;
  std::string content;
  content.reserve(static_cast<size_t>(*expectedSize) + kBlock);
  for (;;) {
    const size_t used = content.size();
    content.resize(used + kBlock);
    const ssize_t got =
        ReadFully(descriptor, used, reinterpret_cast<std::byte*>(content.data()) + used, kBlock);
    if (got < 0) {
      return std::nullopt;
    }
    content.resize(used + static_cast<size_t>(got));
    if (static_cast<size_t>(got) < kBlock) {
      return content;
    }
  }
}

std::shared_ptr<const MappedFile> MappedFile::open(const std::string& path) {
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) {
    return nullptr;
  }
  DescriptorCloser closer(descriptor);
  const std::optional<uint64_t> size = RegularFileSize(descriptor);
  if (!size || *size > std::numeric_limits<size_t>::max()) {
    return nullptr;
  }
  // mmap refuses a length of 0; an empty file needs no view.
  if (*size == 0) {
    return std::shared_ptr<const MappedFile>(new MappedFile(nullptr, 0));
  }
  void* view = ::mmap(nullptr, static_cast<size_t>(*size), PROT_READ, MAP_PRIVATE, descriptor, 0);
  if (view == MAP_FAILED) {
    return nullptr;
  }
  return std::shared_ptr<const MappedFile>(
      new MappedFile(static_cast<const std::byte*>(view), static_cast<size_t>(*size)));
}

MappedFile::~MappedFile() {
  if (size_ > 0) {
    ::munmap(const_cast<std::byte*>(data_), size_);
  }
}

std::unique_ptr<FileReader> FileReader::open(const std::string& path) {
  const int descriptor = OpenForReading(path);
  if (descriptor < 0) {
    return nullptr;
  }
  const std::optional<uint64_t> size = RegularFileSize(descriptor);
  if (!size) {
    ::close(descriptor);
    return nullptr;
  }
  return std::unique_ptr<FileReader>(new FileReader(descriptor, *size));
}

FileReader::~FileReader() { ::close(handle_); }

size_t FileReader::readAt(uint64_t offset, std::span<std::byte> out) const {
  const ssize_t got = ReadFully(handle_, offset, out.data(), out.size());
  return got < 0 ? 0 : static_cast<size_t>(got);
}

}  // namespace tavrelle
