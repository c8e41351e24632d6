#include "content/BundleArchive.h"

#include <stdexcept>

namespace tavrelle {
namespace {

constexpr uint32_t kMagic = 0x7A786162;             // "zxab"
constexpr uint32_t kBlobChunkId = 0x626C6F62;       // "blob"
constexpr uint32_t kDirectoryChunkId = 0x66646972;  // "fdir"

[[noreturn]] void Fail(const char* message) { throw std::runtime_error(message); }

}  // namespace

void BundleArchive::openMemory(const std::byte* data, uint64_t size) {
  readMode_ = ReadMode::Memory;
  base_ = data;
  cursor_ = 0;
  limit_ = size;
  try {
    parse();
  } catch (...) {
    // A half-read directory must not answer lookups.
    close();
    throw;
  }
  limit_ = size;
}

void BundleArchive::parse() {
  chunks_.clear();
  files_.clear();
  blobOffset_ = 0;
  blobSize_ = 0;

  if (read32() != kMagic) {
    Fail("bad format");
  }
  if (read32() != 0) {
    Fail("unsupported version");
  }
  const uint32_t chunkStart = read32();
  if (read32() != 0) {
    Fail("invalid flags");
  }

  cursor_ = chunkStart;
  while (cursor_ < limit_) {
    const uint32_t id = read32();
    const uint64_t dataSize = read64();
    if (dataSize > limit_ - cursor_) {
      Fail("bad chunk");
    }
    chunks_.try_emplace(id, ChunkRecord{id, cursor_, dataSize});
    cursor_ += dataSize;
  }

  const auto blob = chunks_.find(kBlobChunkId);
  if (blob == chunks_.end()) {
    Fail("missing blob chunk");
  }
  blobOffset_ = blob->second.dataOffset;
  blobSize_ = blob->second.dataSize;

  const auto directory = chunks_.find(kDirectoryChunkId);
  if (directory == chunks_.end()) {
    Fail("missing fdir chunk");
  }
  cursor_ = directory->second.dataOffset;
  limit_ = directory->second.dataOffset + directory->second.dataSize;

  const uint32_t entryCount = read32();
  for (uint32_t index = 0; index < entryCount; ++index) {
    const uint32_t reserved1 = read32();
    const uint32_t reserved2 = read32();
    if (reserved1 != 0 || reserved2 != 0) {
      Fail("bad file entry");
    }
    BundleFileInfo info;
    info.offset = read64();
    info.size = read64();
    info.extra = read64();
    if (info.offset > blobSize_ || info.size > blobSize_ - info.offset) {
      Fail("bad file entry");
    }
    if (read8() != 0) {
      Fail("bad file compression");
    }
    info.compression = 0;
    info.found = true;
    std::string name = readBytes(read32());
    files_.try_emplace(std::move(name), info);
  }
}

BundleFileInfo BundleArchive::lookup(const std::string& path) const {
  const auto entry = files_.find(path);
  return entry == files_.end() ? BundleFileInfo{} : entry->second;
}

std::vector<std::string> BundleArchive::listPaths() const {
  std::vector<std::string> paths;
  paths.reserve(files_.size());
  for (const auto& entry : files_) {
    paths.push_back(entry.first);
  }
  return paths;
}

const std::byte* BundleArchive::dataPointer(uint64_t offset) const {
  if (readMode_ != ReadMode::Memory) {
    Fail("wrong read mode");
  }
  return base_ + blobOffset_ + offset;
}

void BundleArchive::close() {
  chunks_.clear();
  files_.clear();
  blobOffset_ = 0;
  blobSize_ = 0;
  readMode_ = ReadMode::None;
  cursor_ = 0;
  limit_ = 0;
  base_ = nullptr;
}

void BundleArchive::requireReadable(uint64_t width) const {
  if (readMode_ != ReadMode::Memory) {
    Fail("invalid read mode");
  }
  // Written so that neither side can overflow, whatever the cursor and width.
  if (cursor_ > limit_ || width > limit_ - cursor_) {
    throw std::out_of_range("bundle read error");
  }
}

uint32_t BundleArchive::read32() {
  requireReadable(4);
  uint32_t value = 0;
  for (int index = 0; index < 4; ++index) {
    value = (value << 8) | std::to_integer<uint32_t>(base_[cursor_++]);
  }
  return value;
}

uint64_t BundleArchive::read64() {
  requireReadable(8);
  uint64_t value = 0;
  for (int index = 0; index < 8; ++index) {
    value = (value << 8) | std::to_integer<uint64_t>(base_[cursor_++]);
  }
  return value;
}

uint8_t BundleArchive::read8() {
  requireReadable(1);
  return std::to_integer<uint8_t>(base_[cursor_++]);
}

std::string BundleArchive::readBytes(uint64_t count) {
  requireReadable(count);
  const auto* first = reinterpret_cast<const char*>(base_ + cursor_);
  cursor_ += count;
  return std::string(first, static_cast<size_t>(count));
}

}  // namespace tavrelle
