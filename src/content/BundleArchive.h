#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tavrelle {

struct BundleFileInfo {
  uint64_t offset = 0;  // relative to the first byte of the blob data
  uint64_t size = 0;
  uint64_t extra = 0;
  uint32_t compression = 0;
  bool found = false;
};

// Reader of an asset bundle ("zxab") held in memory that the caller keeps mapped.
// Opening checks the structure once and builds the directory; afterwards lookups
// hand out positions of the packed files without copying them.
class BundleArchive {
 public:
  BundleArchive() = default;

  // Parses the bundle at data..data+size. Throws std::runtime_error (or
  // std::out_of_range for "bundle read error") with the reader's short text.
  void openMemory(const std::byte* data, uint64_t size);

  // Exact, case-sensitive search; a miss has found == false and all fields zero.
  [[nodiscard]] BundleFileInfo lookup(const std::string& path) const;
  // Every name once, in ascending byte order.
  [[nodiscard]] std::vector<std::string> listPaths() const;
  // memory base + blob offset + offset; throws "wrong read mode" when not open over memory.
  [[nodiscard]] const std::byte* dataPointer(uint64_t offset) const;
  // Back to the empty state: every lookup misses.
  void close();

  [[nodiscard]] bool isOpen() const { return readMode_ == ReadMode::Memory; }
  [[nodiscard]] size_t fileCount() const { return files_.size(); }

 private:
  enum class ReadMode : uint32_t { None = 0, Memory = 1 };
  struct ChunkRecord {
    uint32_t id;
    uint64_t dataOffset;
    uint64_t dataSize;
  };

  void parse();
  uint32_t read32();
  uint64_t read64();
  uint8_t read8();
  std::string readBytes(uint64_t count);
  void requireReadable(uint64_t width) const;

  std::map<uint32_t, ChunkRecord> chunks_;
  std::map<std::string, BundleFileInfo> files_;
  uint64_t blobOffset_ = 0;
  uint64_t blobSize_ = 0;
  ReadMode readMode_ = ReadMode::None;
  uint64_t cursor_ = 0;
  uint64_t limit_ = 0;
  const std::byte* base_ = nullptr;
};

}  // namespace tavrelle
