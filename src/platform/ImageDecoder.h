#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "platform/MainWindow.h"

namespace tavrelle {

// Decodes an image (PNG, JPEG, BMP, GIF or ICO) from memory or from a file; nothing
// when it cannot.
[[nodiscard]] std::optional<Image> DecodeImage(std::span<const std::byte> bytes);
[[nodiscard]] std::optional<Image> DecodeImageFile(const std::string& path);

}  // namespace tavrelle
