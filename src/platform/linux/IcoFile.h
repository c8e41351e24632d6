#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/MainWindow.h"

namespace tavrelle::linux_platform {

// One picture of a Windows icon (.ico) file, in a form an image decoder reads: a PNG
// file as it is stored, or a BMP file rebuilt around the icon's bitmap.
struct IcoPicture {
  std::vector<std::byte> file;
  int bitCount = 0;
  // The bitmap's AND mask (set bits are transparent), rows bottom-up, each padded to
  // 32 bits; empty for PNG pictures and for bitmaps stored without one.
  std::vector<std::byte> andMask;
};

// The file starts like an icon file: reserved 0, type 1, at least one picture.
[[nodiscard]] bool LooksLikeIco(std::span<const std::byte> bytes);

// The largest picture (then the deepest); nothing when the file is malformed.
[[nodiscard]] std::optional<IcoPicture> LargestIcoPicture(std::span<const std::byte> bytes);

// Makes the pixels that the AND mask marks transparent fully transparent, for bitmaps
// that carry no alpha of their own (fewer than 32 bits, or an alpha that is all opaque).
void ApplyIcoMask(const IcoPicture& picture, Image& image);

}  // namespace tavrelle::linux_platform
