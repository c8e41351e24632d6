#include "content/ResponseBodies.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tavrelle {
namespace {

size_t CopyFrom(std::span<const std::byte> bytes, uint64_t offset, std::span<std::byte> out) {
  if (offset >= bytes.size()) {
    return 0;
  }
  const size_t count = std::min<uint64_t>(out.size(), bytes.size() - offset);
  std::memcpy(out.data(), bytes.data() + offset, count);
  return count;
}

}  // namespace

size_t MemoryBody::read(uint64_t offset, std::span<std::byte> out) const {
  return CopyFrom(bytes_, offset, out);
}

size_t FileBody::read(uint64_t offset, std::span<std::byte> out) const {
  if (offset >= length_) {
    return 0;
  }
  if (!reader_ && !openFailed_) {
    reader_ = FileReader::open(path_);
    openFailed_ = !reader_;
  }
  if (!reader_) {
    return 0;
  }
  const size_t count = std::min<uint64_t>(out.size(), length_ - offset);
  return reader_->readAt(offset, out.first(count));
}

MappedBody::MappedBody(std::shared_ptr<const MappedFile> file, uint64_t offset, uint64_t length)
    : file_(std::move(file)) {
  const std::span<const std::byte> whole = file_->bytes();
  if (offset > whole.size() || length > whole.size() - offset) {
    throw std::out_of_range("slice outside the mapped file");
  }
  bytes_ = whole.subspan(offset, length);
}

size_t MappedBody::read(uint64_t offset, std::span<std::byte> out) const {
  return CopyFrom(bytes_, offset, out);
}

}  // namespace tavrelle
