#include "platform/ImageDecoder.h"

#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <string_view>
#include <utility>
#include <vector>

#include "support/TempDir.h"

namespace tavrelle {
namespace {

using Bytes = std::vector<std::byte>;

void Append(void* context, void* data, int size) {
  auto* out = static_cast<Bytes*>(context);
  const auto* bytes = static_cast<const std::byte*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

// Encoders of pixels (`channels` bytes each), with stb's writers.
Bytes Png(int width, int height, int channels, const std::vector<uint8_t>& px) {
  Bytes out;
  stbi_write_png_to_func(Append, &out, width, height, channels, px.data(), width * channels);
  return out;
}
Bytes Bmp(int width, int height, int channels, const std::vector<uint8_t>& px) {
  Bytes out;
  stbi_write_bmp_to_func(Append, &out, width, height, channels, px.data());
  return out;
}
Bytes Jpeg(int width, int height, int channels, const std::vector<uint8_t>& px) {
  Bytes out;
  stbi_write_jpg_to_func(Append, &out, width, height, channels, px.data(), 95);
  return out;
}

// 2 x 2: opaque red, half-transparent green, fully transparent blue, opaque white.
Bytes SamplePng() {
  return Png(2, 2, 4, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 255, 255, 255, 255});
}

// 1 x 1, one red pixel, from a two-colour global palette.
constexpr std::string_view kRedGifText(
    "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\x00\x00\x00\x00\x00"
    ",\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00;",
    35);
const Bytes kRedGif(reinterpret_cast<const std::byte*>(kRedGifText.data()),
                    reinterpret_cast<const std::byte*>(kRedGifText.data()) + kRedGifText.size());

void PutLe(Bytes& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + size_t(i)] = std::byte(uint8_t(value >> (8 * i)));
}

struct IcoPictureSpec {
  int side;
  int bitCount;
  Bytes data;
};

Bytes Ico(const std::vector<IcoPictureSpec>& pictures) {
  Bytes file(6 + 16 * pictures.size());
  PutLe(file, 2, 1, 2);
  PutLe(file, 4, uint32_t(pictures.size()), 2);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    PutLe(file, entry, uint32_t(pictures[i].side % 256), 1);
    PutLe(file, entry + 1, uint32_t(pictures[i].side % 256), 1);
    PutLe(file, entry + 6, uint32_t(pictures[i].bitCount), 2);
    PutLe(file, entry + 8, uint32_t(pictures[i].data.size()), 4);
    PutLe(file, entry + 12, uint32_t(file.size()), 4);
    file.insert(file.end(), pictures[i].data.begin(), pictures[i].data.end());
  }
  return file;
}

// An icon bitmap: a 24-bit BMP without its file header, the height doubled, and an AND
// mask (rows bottom-up, 4 bytes each for narrow icons) whose set bits are transparent.
Bytes IconBitmap(int side, const std::vector<uint8_t>& rgb, const std::vector<uint8_t>& maskRows) {
  Bytes bmp = Bmp(side, side, 3, rgb);
  Bytes dib(bmp.begin() + 14, bmp.end());
  PutLe(dib, 8, uint32_t(side * 2), 4);
  for (uint8_t row : maskRows) {
    for (uint8_t b : {row, uint8_t{0}, uint8_t{0}, uint8_t{0}}) dib.push_back(std::byte{b});
  }
  return dib;
}

TEST(ImageDecoder, PngKeepsItsTransparency) {
  std::optional<Image> image = DecodeImage(SamplePng());
  ASSERT_TRUE(image);
  EXPECT_EQ(std::pair(image->width, image->height), std::pair(2, 2));
  EXPECT_EQ(image->argb,
            (std::vector<uint32_t>{0xFFFF0000u, 0x8000FF00u, 0x000000FFu, 0xFFFFFFFFu}));
}

// The GIF is decoded from a file below.
TEST(ImageDecoder, BmpAndJpegDecodeOpaque) {
  std::optional<Image> bmp = DecodeImage(Bmp(2, 1, 3, {0, 0, 255, 10, 20, 30}));
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->argb, (std::vector<uint32_t>{0xFF0000FFu, 0xFF0A141Eu}));
  std::vector<uint8_t> red;
  for (int i = 0; i < 64; ++i) red.insert(red.end(), {250, 0, 0});
  std::optional<Image> jpeg = DecodeImage(Jpeg(8, 8, 3, red));
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(jpeg->argb[0] & 0xFFF00000u, 0xFFF00000u);  // opaque, lossy but red
  EXPECT_LT(jpeg->argb[0] & 0xFFFFu, 0x2020u);
}

TEST(ImageDecoder, IcoGivesItsLargestPictureWithTheMaskApplied) {
  // 2 x 2 bitmap, rows bottom-up: the mask makes the top-left pixel transparent.
  const Bytes bitmap = IconBitmap(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}, {0x00, 0x80});
  std::optional<Image> icon = DecodeImage(Ico({{1, 32, SamplePng()}, {2, 24, bitmap}}));
  ASSERT_TRUE(icon);
  ASSERT_EQ(icon->width, 2);
  EXPECT_EQ(icon->argb,
            (std::vector<uint32_t>{0x00010203u, 0xFF040506u, 0xFF070809u, 0xFF0A0B0Cu}));

  // A PNG picture is used as stored, its own alpha kept.
  std::optional<Image> png =
      DecodeImage(Ico({{1, 24, IconBitmap(1, {0, 0, 0}, {0})}, {2, 32, SamplePng()}}));
  ASSERT_TRUE(png);
  EXPECT_EQ(png->argb[1], 0x8000FF00u);
}

TEST(ImageDecoder, ForeignTruncatedAndCorruptDataGiveNothingAndNeverCrash) {
  EXPECT_FALSE(DecodeImage({}));
  EXPECT_FALSE(DecodeImage(Bytes(64, std::byte{0})));  // could pass for a headerless TGA
  Bytes pointsOutside = Ico({{2, 32, SamplePng()}});
  PutLe(pointsOutside, 6 + 12, 1u << 20, 4);
  EXPECT_FALSE(DecodeImage(pointsOutside));

  for (const Bytes& whole :
       {SamplePng(), kRedGif,
        Ico({{2, 24, IconBitmap(2, std::vector<uint8_t>(12, 0x40), {0, 0})}})}) {
    for (size_t length = 0; length + 1 < whole.size(); ++length) {
      (void)DecodeImage(Bytes(whole.begin(), whole.begin() + std::ptrdiff_t(length)));
    }
    for (size_t i = 0; i < whole.size(); ++i) {
      Bytes corrupt = whole;
      corrupt[i] ^= std::byte{0x5A};
      (void)DecodeImage(corrupt);  // any result, but no crash and no sanitizer report
    }
  }
}

TEST(ImageDecoder, AbsurdSizesAreRefused) {
  EXPECT_FALSE(DecodeImage(Png(4097, 1, 4, std::vector<uint8_t>(4097 * 4, 0xFF))));
  EXPECT_TRUE(DecodeImage(Png(4096, 1, 4, std::vector<uint8_t>(4096 * 4, 0xFF))));
  // A header claiming 100000 x 100000 pixels with no data behind it.
  Bytes claim = SamplePng();
  for (size_t at : {16u, 20u}) {
    for (int i = 0; i < 4; ++i) claim[at + size_t(i)] = std::byte(uint8_t(100000 >> (24 - 8 * i)));
  }
  EXPECT_FALSE(DecodeImage(claim));
}

TEST(ImageDecoder, FromFile) {
  test::TempDir dir;
  std::optional<Image> image = DecodeImageFile(dir.writeFile("icon.gif", kRedGifText));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->argb[0], 0xFFFF0000u);
  EXPECT_FALSE(DecodeImageFile(dir.pathOf("missing.gif")));
}

}  // namespace
}  // namespace tavrelle
