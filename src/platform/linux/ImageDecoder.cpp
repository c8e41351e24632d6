#include "platform/ImageDecoder.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <fstream>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/linux/IcoFile.h"

namespace tavrelle {

namespace {

constexpr int kMaxSide = 4096;
// Larger files are not images the host would use (an icon, a splash).
constexpr std::streamoff kMaxFileBytes = std::streamoff{64} * 1024 * 1024;

bool StartsWith(std::span<const std::byte> bytes, std::string_view prefix) {
  return bytes.size() >= prefix.size() &&
         std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// The formats a window icon comes in; the decoding library knows more (TGA, PSD, HDR,
// ...) whose files carry no reliable signature, and those are not offered to it.
bool IsPlainImageFormat(std::span<const std::byte> bytes) {
  return StartsWith(bytes, "\x89PNG\r\n\x1a\n") || StartsWith(bytes, "\xFF\xD8\xFF") ||
         StartsWith(bytes, "BM") || StartsWith(bytes, "GIF87a") || StartsWith(bytes, "GIF89a");
}

// Straight (not premultiplied) RGBA bytes to 0xAARRGGBB words.
std::vector<uint32_t> PackArgb(const unsigned char* rgba, size_t pixels) {
  std::vector<uint32_t> argb(pixels);
  for (size_t i = 0; i < pixels; ++i) {
    const unsigned char* p = rgba + i * 4;
    argb[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
  }
  return argb;
}

// PNG, JPEG, BMP or the first frame of a GIF, sizes checked before any pixel is decoded.
std::optional<Image> DecodePlainImage(std::span<const std::byte> bytes) {
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int length = static_cast<int>(bytes.size());
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_memory(data, length, &width, &height, &channels) == 0) return std::nullopt;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
  std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
      stbi_load_from_memory(data, length, &width, &height, &channels, 4), stbi_image_free);
  if (!rgba || width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) {
    return std::nullopt;
  }
  Image image;
  image.width = width;
  image.height = height;
  image.argb = PackArgb(rgba.get(), size_t(width) * size_t(height));
  return image;
}

std::optional<Image> DecodeIco(std::span<const std::byte> bytes) {
  std::optional<linux_platform::IcoPicture> picture = linux_platform::LargestIcoPicture(bytes);
  if (!picture) return std::nullopt;
  std::optional<Image> image = DecodePlainImage(picture->file);
  if (image) linux_platform::ApplyIcoMask(*picture, *image);
  return image;
}

}  // namespace

std::optional<Image> DecodeImage(std::span<const std::byte> bytes) {
  if (IsPlainImageFormat(bytes)) return DecodePlainImage(bytes);
  if (linux_platform::LooksLikeIco(bytes)) return DecodeIco(bytes);
  return std::nullopt;
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
