#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tavrelle::test {

// Pieces of an asset bundle, written byte by byte, so that tests can also build
// malformed bundles (wrong fields, odd chunk orders, cut-off data).
std::string BigEndian32(uint32_t value);
std::string BundleHeader(uint32_t chunkStart = 16, uint32_t version = 0, uint32_t flags = 0,
                         std::string_view magic = "zxab");
std::string ChunkHeader(std::string_view id, uint64_t size);
std::string Chunk(std::string_view id, std::string_view data);

struct DirectoryEntry {
  std::string name;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint64_t extra = 0;
  uint8_t compression = 0;
  uint32_t reserved1 = 0;
  uint32_t reserved2 = 0;
};
std::string EncodeEntry(const DirectoryEntry& entry);
// The data of an "fdir" chunk; `count` overrides the entry count written in front.
std::string DirectoryData(std::span<const DirectoryEntry> entries, int64_t count = -1);

// A well-formed bundle: header, "blob", then "fdir".
class BundleBuilder {
 public:
  // Appends the content to the blob and adds an entry for it.
  BundleBuilder& addFile(std::string name, std::string_view content, uint64_t extra = 0);

  [[nodiscard]] std::string build() const;

 private:
  std::string blob_;
  std::vector<DirectoryEntry> entries_;
};

// The bytes of a bundle as std::byte, for BundleArchive::openMemory.
inline const std::byte* BytesOf(const std::string& bundle) {
  return reinterpret_cast<const std::byte*>(bundle.data());
}

}  // namespace tavrelle::test
