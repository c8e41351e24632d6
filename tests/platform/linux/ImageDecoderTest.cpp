#include "platform/ImageDecoder.h"

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <fstream>
#include <vector>

namespace tavrelle {
namespace {

// Encodes pixels (RGBA unless told) as a PNG with libpng's simplified writer.
std::vector<std::byte> EncodePng(uint32_t width, uint32_t height, const std::vector<uint8_t>& rgba,
                                 uint32_t format = PNG_FORMAT_RGBA) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = format;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr)) return {};
  std::vector<std::byte> bytes(size);
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), 0, nullptr))
    return {};
  bytes.resize(size);
  return bytes;
}

// 2 x 2: opaque red, half-transparent green, fully transparent blue, opaque white.
std::vector<std::byte> SamplePng() {
  return EncodePng(2, 2, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 255, 255, 255, 255});
}

TEST(ImageDecoder, DecodesPixelsToArgbWithTransparency) {
  std::optional<Image> image = DecodeImage(SamplePng());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->width, 2);
  EXPECT_EQ(image->height, 2);
  ASSERT_EQ(image->argb.size(), 4u);
  EXPECT_EQ(image->argb[0], 0xFFFF0000u);
  EXPECT_EQ(image->argb[1], 0x8000FF00u);
  EXPECT_EQ(image->argb[2] >> 24, 0u);
  EXPECT_EQ(image->argb[3], 0xFFFFFFFFu);
}

TEST(ImageDecoder, GreyBecomesOpaqueAndForeignDataGivesNothing) {
  std::optional<Image> grey = DecodeImage(EncodePng(1, 1, {0x40}, PNG_FORMAT_GRAY));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->argb[0] >> 24, 0xFFu);
  EXPECT_FALSE(DecodeImage({}));
  std::vector<std::byte> gif(32, std::byte{0});
  std::memcpy(gif.data(), "GIF89a", 6);
  EXPECT_FALSE(DecodeImage(gif));
}

TEST(ImageDecoder, TruncatedOrCorruptDataNeverCrashes) {
  std::vector<std::byte> png = SamplePng();
  ASSERT_FALSE(png.empty());
  for (size_t length = 0; length < png.size() - 12; ++length) {  // IEND is 12 bytes
    std::vector<std::byte> cut(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_FALSE(DecodeImage(cut)) << "length " << length;
  }
  for (size_t i = 8; i < png.size(); ++i) {
    std::vector<std::byte> corrupt = png;
    corrupt[i] ^= std::byte{0x5A};
    (void)DecodeImage(corrupt);  // any result, but no crash and no sanitizer report
  }
}

TEST(ImageDecoder, AbsurdSizesAreRefused) {
  std::vector<std::byte> wide = EncodePng(4097, 1, std::vector<uint8_t>(4097 * 4, 0xFF));
  ASSERT_FALSE(wide.empty());
  EXPECT_FALSE(DecodeImage(wide));
  std::vector<std::byte> edge = EncodePng(4096, 1, std::vector<uint8_t>(4096 * 4, 0xFF));
  EXPECT_TRUE(DecodeImage(edge));

  // A header claiming 100000 x 100000 pixels with no data behind it.
  std::vector<std::byte> claim = SamplePng();
  auto put32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) claim[at + i] = std::byte(static_cast<uint8_t>(v >> (24 - 8 * i)));
  };
  put32(16, 100000);  // IHDR width
  put32(20, 100000);  // IHDR height
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(claim.data() + 12), 17);
  put32(29, static_cast<uint32_t>(crc));  // a valid checksum, so only the size is wrong
  EXPECT_FALSE(DecodeImage(claim));
}

TEST(ImageDecoder, FromFile) {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("tavrelle-icon-" + std::to_string(std::random_device{}()) + ".png");
  std::vector<std::byte> png = SamplePng();
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  }
  std::optional<Image> image = DecodeImageFile(path.string());
  std::filesystem::remove(path);
  ASSERT_TRUE(image);
  EXPECT_EQ(image->argb[0], 0xFFFF0000u);
  EXPECT_FALSE(DecodeImageFile(path.string()));                                    // gone now
  EXPECT_FALSE(DecodeImageFile(std::filesystem::temp_directory_path().string()));  // a folder
}

}  // namespace
}  // namespace tavrelle
