#include "support/TempDir.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tavrelle::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = "/tmp/tavrelle-test-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string TempDir::pathOf(std::string_view relativePath) const {
  return path_ + "/" + std::string(relativePath);
}

std::string TempDir::writeFile(std::string_view relativePath, std::string_view bytes) const {
  const std::string fullPath = pathOf(relativePath);
  fs::create_directories(fs::path(fullPath).parent_path());
  std::ofstream out(fullPath, std::ios::binary | std::ios::trunc);
  if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
    throw std::runtime_error("cannot write " + fullPath);
  }
  return fullPath;
}

std::string TempDir::makeFolder(std::string_view relativePath) const {
  const std::string fullPath = pathOf(relativePath);
  fs::create_directories(fullPath);
  return fullPath;
}

std::string TempDir::writeSparseFile(std::string_view relativePath, uint64_t size,
                                     std::string_view tail) const {
  const std::string fullPath = writeFile(relativePath, {});
  fs::resize_file(fullPath, size);  // a hole
  std::fstream out(fullPath, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(size - tail.size()));
  if (!out.write(tail.data(), static_cast<std::streamsize>(tail.size())).flush()) {
    throw std::runtime_error("cannot write " + fullPath);
  }
  return fullPath;
}

bool TempDir::denyReading(std::string_view relativePath) const {
  fs::permissions(pathOf(relativePath), fs::perms::none);
  return ::geteuid() != 0;
}

void TempDir::makeSymlink(std::string_view target, std::string_view relativeLinkPath) const {
  const std::string linkPath = pathOf(relativeLinkPath);
  fs::create_directories(fs::path(linkPath).parent_path());
  fs::create_symlink(target, linkPath);
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace tavrelle::test
