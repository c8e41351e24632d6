#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

// A body holding its own copy of the bytes.
class MemoryBody final : public webview::ResponseBody {
 public:
  explicit MemoryBody(std::span<const std::byte> bytes) : bytes_(bytes.begin(), bytes.end()) {}

  [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
  size_t read(uint64_t offset, std::span<std::byte> out) const override;
  [[nodiscard]] std::span<const std::byte> contiguousBytes() const override { return bytes_; }

 private:
  std::vector<std::byte> bytes_;
};

// The first `length` bytes of a file, read on demand. The file is opened by the first
// read, so that a body waiting to be fetched holds no open file; a file that cannot be
// opened then reads as empty.
class FileBody final : public webview::ResponseBody {
 public:
  FileBody(std::string path, uint64_t length) : path_(std::move(path)), length_(length) {}
  // A file opened already (one that must not be opened again by its path).
  FileBody(std::unique_ptr<FileReader> reader, uint64_t length)
      : length_(length), reader_(std::move(reader)), openFailed_(!reader_) {}

  [[nodiscard]] uint64_t size() const override { return length_; }
  size_t read(uint64_t offset, std::span<std::byte> out) const override;

 private:
  std::string path_;
  uint64_t length_;
  mutable std::unique_ptr<FileReader> reader_;
  mutable bool openFailed_ = false;
};

// A slice of a mapped file. Shares ownership of the mapping, so the bytes stay valid
// after the server has released its cache. The slice must lie inside the mapping.
class MappedBody final : public webview::ResponseBody {
 public:
  MappedBody(std::shared_ptr<const MappedFile> file, uint64_t offset, uint64_t length);

  [[nodiscard]] uint64_t size() const override { return bytes_.size(); }
  size_t read(uint64_t offset, std::span<std::byte> out) const override;
  [[nodiscard]] std::span<const std::byte> contiguousBytes() const override { return bytes_; }

 private:
  std::shared_ptr<const MappedFile> file_;
  std::span<const std::byte> bytes_;
};

}  // namespace tavrelle
