#include "platform/ImageDecoder.h"

#include <png.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace tavrelle {

namespace {

constexpr png_uint_32 kMaxSide = 4096;
// Larger files are not images the host would use (an icon, a splash).
constexpr std::streamoff kMaxFileBytes = std::streamoff{64} * 1024 * 1024;

// Straight (not premultiplied) RGBA bytes to 0xAARRGGBB words.
std::vector<uint32_t> PackArgb(const std::vector<png_byte>& rgba) {
  std::vector<uint32_t> argb(rgba.size() / 4);
  for (size_t i = 0; i < argb.size(); ++i) {
    const png_byte* p = &rgba[i * 4];
    argb[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  return argb;
}

}  // namespace

std::optional<Image> DecodeImage(std::span<const std::byte> bytes) {
  if (bytes.size() < 8 || png_sig_cmp(reinterpret_cast<png_const_bytep>(bytes.data()), 0, 8) != 0) {
    return std::nullopt;
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  // The simplified API catches libpng's errors itself and reports them as a 0 result.
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return std::nullopt;
  if (image.width == 0 || image.height == 0 || image.width > kMaxSide || image.height > kMaxSide) {
    png_image_free(&image);
    return std::nullopt;
  }
  image.format = PNG_FORMAT_RGBA;
  std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return std::nullopt;
  }
  Image decoded;
  decoded.width = static_cast<int32_t>(image.width);
  decoded.height = static_cast<int32_t>(image.height);
  decoded.argb = PackArgb(rgba);
  png_image_free(&image);
  return decoded;
}

std::optional<Image> DecodeImageFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary | std::ios::ate);
  if (!file) return std::nullopt;
  std::streamoff size = file.tellg();
  if (size <= 0 || size > kMaxFileBytes) return std::nullopt;
  std::vector<std::byte> bytes(static_cast<size_t>(size));
  file.seekg(0);
  if (!file.read(reinterpret_cast<char*>(bytes.data()), size)) return std::nullopt;
  return DecodeImage(bytes);
}

}  // namespace tavrelle
