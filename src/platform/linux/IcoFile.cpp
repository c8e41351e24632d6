#include "platform/linux/IcoFile.h"

#include <algorithm>
#include <array>

namespace tavrelle::linux_platform {

namespace {

constexpr size_t kIcoHeaderSize = 6;
constexpr size_t kIcoEntrySize = 16;
constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBitmapInfoHeaderSize = 40;
constexpr uint32_t kBitFields = 3;
constexpr std::array<uint8_t, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t ReadLe(std::span<const std::byte> bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) value |= std::to_integer<uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

void WriteLe32(std::vector<std::byte>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::byte>(value >> (8 * i)));
}

bool IsPng(std::span<const std::byte> data) {
  return data.size() >= kPngSignature.size() &&
         std::equal(kPngSignature.begin(), kPngSignature.end(), data.begin(),
                    [](uint8_t a, std::byte b) { return std::byte{a} == b; });
}

struct Entry {
  uint32_t area = 0;
  uint32_t bitCount = 0;
  std::span<const std::byte> data;
};

std::optional<Entry> ReadEntry(std::span<const std::byte> file, size_t index) {
  const size_t at = kIcoHeaderSize + index * kIcoEntrySize;
  const uint32_t width = ReadLe(file, at, 1) == 0 ? 256 : ReadLe(file, at, 1);
  const uint32_t height = ReadLe(file, at + 1, 1) == 0 ? 256 : ReadLe(file, at + 1, 1);
  const uint32_t size = ReadLe(file, at + 8, 4);
  const uint32_t offset = ReadLe(file, at + 12, 4);
  if (offset > file.size() || size > file.size() - offset) return std::nullopt;
  return Entry{width * height, ReadLe(file, at + 6, 2), file.subspan(offset, size)};
}

// The bitmap of an icon picture: a BITMAPINFOHEADER whose height counts both the
// colour rows and the mask rows, its palette or bit masks, the colour rows, the mask.
std::optional<IcoPicture> RebuildBitmap(std::span<const std::byte> dib) {
  if (dib.size() < kBitmapInfoHeaderSize) return std::nullopt;
  const uint32_t headerSize = ReadLe(dib, 0, 4);
  const auto width = static_cast<int32_t>(ReadLe(dib, 4, 4));
  const auto doubledHeight = static_cast<int32_t>(ReadLe(dib, 8, 4));
  const uint32_t bitCount = ReadLe(dib, 14, 2);
  const uint32_t compression = ReadLe(dib, 16, 4);
  const uint32_t coloursUsed = ReadLe(dib, 32, 4);
  if (headerSize < kBitmapInfoHeaderSize || headerSize > dib.size() || width <= 0 ||
      doubledHeight < 2 || bitCount == 0 || bitCount > 32) {
    return std::nullopt;
  }
  const int32_t height = doubledHeight / 2;
  size_t tableBytes = 0;
  if (bitCount <= 8)
    tableBytes = size_t{4} * (coloursUsed != 0 ? std::min(coloursUsed, 256u) : (1u << bitCount));
  if (compression == kBitFields && headerSize == kBitmapInfoHeaderSize) tableBytes = 12;
  const size_t pixelsAt = headerSize + tableBytes;
  const size_t colourStride = ((size_t(width) * bitCount + 31) / 32) * 4;
  const size_t maskStride = ((size_t(width) + 31) / 32) * 4;
  const size_t maskAt = pixelsAt + colourStride * size_t(height);
  if (pixelsAt > dib.size()) return std::nullopt;

  IcoPicture picture;
  picture.bitCount = static_cast<int>(bitCount);
  picture.file.reserve(kBmpFileHeaderSize + dib.size());
  picture.file.push_back(std::byte{'B'});
  picture.file.push_back(std::byte{'M'});
  WriteLe32(picture.file, static_cast<uint32_t>(kBmpFileHeaderSize + dib.size()));
  WriteLe32(picture.file, 0);
  WriteLe32(picture.file, static_cast<uint32_t>(kBmpFileHeaderSize + pixelsAt));
  const size_t heightAt = picture.file.size() + 8;
  picture.file.insert(picture.file.end(), dib.begin(), dib.end());
  for (size_t i = 0; i < 4; ++i) {
    picture.file[heightAt + i] = static_cast<std::byte>(static_cast<uint32_t>(height) >> (8 * i));
  }
  if (maskAt <= dib.size() && maskStride * size_t(height) <= dib.size() - maskAt) {
    auto mask = dib.subspan(maskAt, maskStride * size_t(height));
    picture.andMask.assign(mask.begin(), mask.end());
  }
  return picture;
}

}  // namespace

bool LooksLikeIco(std::span<const std::byte> bytes) {
  if (bytes.size() < kIcoHeaderSize) return false;
  const uint32_t count = ReadLe(bytes, 4, 2);
  return ReadLe(bytes, 0, 2) == 0 && ReadLe(bytes, 2, 2) == 1 && count > 0 &&
         kIcoHeaderSize + size_t{count} * kIcoEntrySize <= bytes.size();
}

std::optional<IcoPicture> LargestIcoPicture(std::span<const std::byte> bytes) {
  if (!LooksLikeIco(bytes)) return std::nullopt;
  std::optional<Entry> best;
  for (size_t i = 0; i < ReadLe(bytes, 4, 2); ++i) {
    std::optional<Entry> entry = ReadEntry(bytes, i);
    if (!entry) return std::nullopt;
    if (!best || entry->area > best->area ||
        (entry->area == best->area && entry->bitCount > best->bitCount)) {
      best = entry;
    }
  }
  if (IsPng(best->data)) return IcoPicture{{best->data.begin(), best->data.end()}, 32, {}};
  return RebuildBitmap(best->data);
}

void ApplyIcoMask(const IcoPicture& picture, Image& image) {
  if (picture.andMask.empty() || image.width <= 0 || image.height <= 0) return;
  const bool ownAlpha =
      picture.bitCount == 32 && std::any_of(image.argb.begin(), image.argb.end(),
                                            [](uint32_t pixel) { return (pixel >> 24) != 0xFF; });
  if (ownAlpha) return;
  const size_t stride = ((size_t(image.width) + 31) / 32) * 4;
  if (picture.andMask.size() < stride * size_t(image.height)) return;
  for (int32_t row = 0; row < image.height; ++row) {
    const size_t maskRow = size_t(image.height - 1 - row) * stride;
    for (int32_t column = 0; column < image.width; ++column) {
      const auto bits = std::to_integer<uint8_t>(picture.andMask[maskRow + size_t(column) / 8]);
      if ((bits & (0x80 >> (column % 8))) != 0) {
        image.argb[size_t(row) * size_t(image.width) + size_t(column)] &= 0x00FFFFFFu;
      }
    }
  }
}

}  // namespace tavrelle::linux_platform
