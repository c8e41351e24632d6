#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace tavrelle {

// File-system operations of the host. Paths are UTF-8 and use "/" separators.

// True when the path names anything that exists, folders included.
[[nodiscard]] bool FileExists(const std::string& path);

// True when the path names a regular file (or a link to one).
[[nodiscard]] bool IsRegularFile(const std::string& path);

// Size of a regular file; nothing when it cannot be examined.
[[nodiscard]] std::optional<uint64_t> FileSize(const std::string& path);

// Size as a signed 32-bit value: 0 when the file cannot be examined or is 2 GiB or larger.
[[nodiscard]] int32_t GetFileSize32(const std::string& path);

// Creates the folder and any missing parents, each new one readable by its owner only
// (0700): they hold the player's saves and the browser profile. Folders that already
// exist are left as they are. An error text on failure, nothing on success.
[[nodiscard]] std::optional<std::string> CreatePrivateFolders(const std::string& path);

// The whole content of a file; nothing when it cannot be opened or read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path);

// A read-only mapping of a whole file. Unmapped when the last owner lets go, so a
// response body that holds a reference keeps its bytes valid after the cache is released.
class MappedFile {
 public:
  // Maps the whole file; nullptr when it cannot be opened or mapped.
  static std::shared_ptr<const MappedFile> open(const std::string& path);

  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile();

  [[nodiscard]] std::span<const std::byte> bytes() const { return {data_, size_}; }

 private:
  MappedFile(const std::byte* data, size_t size) : data_(data), size_(size) {}
  const std::byte* data_;
  size_t size_;
};

// An open regular file read by position, from any one thread at a time.
class FileReader {
 public:
  // Opens a regular file for reading; nullptr when it cannot be opened.
  static std::unique_ptr<FileReader> open(const std::string& path);

  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  ~FileReader();

  [[nodiscard]] uint64_t size() const { return size_; }
  // Copies up to out.size() bytes from offset; returns the count (0 at the end or on error).
  size_t readAt(uint64_t offset, std::span<std::byte> out) const;

 private:
  friend class ConfinedFolder;
  FileReader(int handle, uint64_t size) : handle_(handle), size_(size) {}
  int handle_;
  uint64_t size_;
};

}  // namespace tavrelle
