#include "support/TempDir.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace tavrelle::test {
namespace {

[[noreturn]] void FailWith(const std::string& what) {
  throw std::runtime_error(what + ": errno " + std::to_string(errno));
}

void CreateParents(const std::string& fullPath) {
  for (size_t slash = fullPath.find('/', 1); slash != std::string::npos;
       slash = fullPath.find('/', slash + 1)) {
    const std::string parent = fullPath.substr(0, slash);
    if (::mkdir(parent.c_str(), 0755) != 0 && errno != EEXIST) {
      FailWith("mkdir " + parent);
    }
  }
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  ::remove(path);
  return 0;
}

void WriteAll(int descriptor, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(descriptor, bytes.data(), bytes.size());
    if (written < 0) {
      FailWith("write " + path);
    }
    bytes.remove_prefix(static_cast<size_t>(written));
  }
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = "/tmp/tavrelle-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    FailWith("mkdtemp");
  }
  path_ = pattern;
}

TempDir::~TempDir() { ::nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS); }

std::string TempDir::pathOf(std::string_view relativePath) const {
  return path_ + "/" + std::string(relativePath);
}

std::string TempDir::writeFile(std::string_view relativePath, std::string_view bytes) const {
  const std::string fullPath = pathOf(relativePath);
  CreateParents(fullPath);
  const int descriptor = ::open(fullPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    FailWith("open " + fullPath);
  }
  WriteAll(descriptor, bytes, fullPath);
  ::close(descriptor);
  return fullPath;
}

std::string TempDir::makeFolder(std::string_view relativePath) const {
  const std::string fullPath = pathOf(relativePath);
  CreateParents(fullPath + "/");
  return fullPath;
}

std::string TempDir::writeSparseFile(std::string_view relativePath, uint64_t size,
                                     std::string_view tail) const {
  const std::string fullPath = writeFile(relativePath, {});
  const int descriptor = ::open(fullPath.c_str(), O_WRONLY | O_CLOEXEC);
  if (descriptor < 0 || ::ftruncate(descriptor, static_cast<off_t>(size)) != 0) {
    FailWith("ftruncate " + fullPath);
  }
  if (!tail.empty()) {
    if (::lseek(descriptor, static_cast<off_t>(size - tail.size()), SEEK_SET) < 0) {
      FailWith("lseek " + fullPath);
    }
    WriteAll(descriptor, tail, fullPath);
  }
  ::close(descriptor);
  return fullPath;
}

bool TempDir::denyReading(std::string_view relativePath) const {
  if (::chmod(pathOf(relativePath).c_str(), 0) != 0) {
    FailWith("chmod");
  }
  return ::geteuid() != 0;
}

void TempDir::makeSymlink(std::string_view target, std::string_view relativeLinkPath) const {
  const std::string linkPath = pathOf(relativeLinkPath);
  CreateParents(linkPath);
  if (::symlink(std::string(target).c_str(), linkPath.c_str()) != 0) {
    FailWith("symlink " + linkPath);
  }
}

}  // namespace tavrelle::test
