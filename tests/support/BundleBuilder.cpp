#include "support/BundleBuilder.h"

namespace tavrelle::test {
namespace {

std::string BigEndian(uint64_t value, int width) {
  std::string bytes(static_cast<size_t>(width), '\0');
  for (int index = width - 1; index >= 0; --index) {
    bytes[static_cast<size_t>(index)] = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  return bytes;
}

std::string BigEndian64(uint64_t value) { return BigEndian(value, 8); }

}  // namespace

std::string BigEndian32(uint32_t value) { return BigEndian(value, 4); }

std::string BundleHeader(uint32_t chunkStart, uint32_t version, uint32_t flags,
                         std::string_view magic) {
  return std::string(magic) + BigEndian32(version) + BigEndian32(chunkStart) + BigEndian32(flags);
}

std::string ChunkHeader(std::string_view id, uint64_t size) {
  return std::string(id) + BigEndian64(size);
}

std::string Chunk(std::string_view id, std::string_view data) {
  return ChunkHeader(id, data.size()) + std::string(data);
}

std::string EncodeEntry(const DirectoryEntry& entry) {
  return BigEndian32(entry.reserved1) + BigEndian32(entry.reserved2) + BigEndian64(entry.offset) +
         BigEndian64(entry.size) + BigEndian64(entry.extra) +
         std::string(1, static_cast<char>(entry.compression)) +
         BigEndian32(static_cast<uint32_t>(entry.name.size())) + entry.name;
}

std::string DirectoryData(std::span<const DirectoryEntry> entries, int64_t count) {
  std::string data =
      BigEndian32(static_cast<uint32_t>(count < 0 ? static_cast<int64_t>(entries.size()) : count));
  for (const DirectoryEntry& entry : entries) data += EncodeEntry(entry);
  return data;
}

BundleBuilder& BundleBuilder::addFile(std::string name, std::string_view content, uint64_t extra) {
  entries_.push_back({std::move(name), blob_.size(), content.size(), extra});
  blob_ += content;
  return *this;
}

std::string BundleBuilder::build() const {
  return BundleHeader() + Chunk("blob", blob_) + Chunk("fdir", DirectoryData(entries_));
}

}  // namespace tavrelle::test
