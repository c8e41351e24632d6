#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrelle::test {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  // The folder, without a trailing "/".
  [[nodiscard]] const std::string& path() const { return path_; }
  // path() + "/" + relativePath.
  [[nodiscard]] std::string pathOf(std::string_view relativePath) const;

  // Writes a file, creating its parent folders; returns its full path.
  std::string writeFile(std::string_view relativePath, std::string_view bytes) const;
  // Creates a folder and its parents; returns its full path.
  std::string makeFolder(std::string_view relativePath) const;
  // A file of `size` bytes that occupies (almost) no disk space: a hole, then `tail`
  // as its last bytes.
  std::string writeSparseFile(std::string_view relativePath, uint64_t size,
                              std::string_view tail = {}) const;
  // Makes a file unreadable; false when that cannot deny this process (it runs as root).
  bool denyReading(std::string_view relativePath) const;
  void makeSymlink(std::string_view target, std::string_view relativeLinkPath) const;

 private:
  std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadAll(const std::string& path);

}  // namespace tavrelle::test
