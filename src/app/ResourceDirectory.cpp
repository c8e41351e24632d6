#include "app/ResourceDirectory.h"

#include <algorithm>
#include <cstring>

namespace tavrelle {

namespace {

// Bounds-checked big-endian reads over [position, limit) of a byte span. A read
// that would pass the limit fails and leaves the reader failed.
class BoundedReader {
 public:
  BoundedReader(std::span<const std::byte> bytes, uint64_t position, uint64_t limit)
      : bytes_(bytes), position_(position), limit_(limit) {}

  [[nodiscard]] bool ok() const { return ok_; }

  uint64_t readUint(size_t width) {
    if (!canRead(width)) {
      return 0;
    }
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) {
      value = (value << 8) | std::to_integer<uint64_t>(bytes_[position_ + i]);
    }
    position_ += width;
    return value;
  }

  std::string readText(uint64_t length) {
    if (!canRead(length)) {
      return {};
    }
    std::string text(reinterpret_cast<const char*>(bytes_.data() + position_), length);
    position_ += length;
    return text;
  }

 private:
  bool canRead(uint64_t width) {
    ok_ = ok_ && position_ <= limit_ && width <= limit_ - position_;
    return ok_;
  }

  std::span<const std::byte> bytes_;
  uint64_t position_;
  uint64_t limit_;
  bool ok_ = true;
};

struct Trailer {
  uint64_t payloadStart = 0;
  uint64_t directoryOffset = 0;
  uint64_t entryCount = 0;
};

bool HasMagic(std::span<const std::byte> file) {
  const auto magic = file.last(kResourceTrailerMagic.size());
  return std::memcmp(magic.data(), kResourceTrailerMagic.data(), magic.size()) == 0;
}

std::optional<Trailer> ReadTrailer(std::span<const std::byte> file) {
  if (file.size() < kResourceTrailerSize || !HasMagic(file)) {
    return std::nullopt;
  }
  const uint64_t trailerStart = file.size() - kResourceTrailerSize;
  BoundedReader reader(file, trailerStart, file.size());
  Trailer trailer;
  trailer.payloadStart = reader.readUint(8);
  trailer.directoryOffset = reader.readUint(8);
  trailer.entryCount = reader.readUint(4);
  const uint64_t reserved = reader.readUint(4);
  const bool consistent = reader.ok() && reserved == 0 &&
                          trailer.payloadStart <= trailer.directoryOffset &&
                          trailer.directoryOffset <= trailerStart;
  return consistent ? std::optional(trailer) : std::nullopt;
}

}  // namespace

ResourceDirectory ResourceDirectory::parse(std::span<const std::byte> file) {
  ResourceDirectory directory;
  directory.programSize_ = file.size();
  const std::optional<Trailer> trailer = ReadTrailer(file);
  if (!trailer) {
    return directory;
  }
  BoundedReader reader(file, trailer->directoryOffset, file.size() - kResourceTrailerSize);
  decltype(entries_) entries;
  for (uint64_t i = 0; i < trailer->entryCount; ++i) {
    const uint64_t typeLength = reader.readUint(4);
    const uint64_t nameLength = reader.readUint(4);
    const uint64_t offset = reader.readUint(8);
    const uint64_t size = reader.readUint(8);
    std::string type = reader.readText(typeLength);
    std::string name = reader.readText(nameLength);
    const bool inPayload = offset >= trailer->payloadStart && offset <= trailer->directoryOffset &&
                           size <= trailer->directoryOffset - offset;
    if (!reader.ok() || !inPayload) {
      return directory;
    }
    entries.try_emplace(Key{std::move(type), std::move(name)}, file.subspan(offset, size));
  }
  directory.entries_ = std::move(entries);
  directory.programSize_ = trailer->payloadStart;
  return directory;
}

std::optional<std::span<const std::byte>> ResourceDirectory::find(std::string_view type,
                                                                  std::string_view name) const {
  const auto entry = entries_.find(Key{std::string(type), std::string(name)});
  if (entry == entries_.end()) {
    return std::nullopt;
  }
  return entry->second;
}

}  // namespace tavrelle
