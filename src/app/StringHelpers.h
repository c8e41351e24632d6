#pragma once

#include <string>

namespace tavrelle {

// UTF-8 <-> UTF-16 conversions; invalid input or an empty result gives an empty string.
[[nodiscard]] std::u16string Utf8ToWide(const std::string& utf8);
[[nodiscard]] std::string WideToUtf8(const std::u16string& wide);

// The extended-length path form ("\\?\" prefix, "/" turned into "\") that a Windows
// build hands to every file-system call; paths shorter than 4 characters get no prefix.
[[nodiscard]] std::u16string ToExtendedPath(const std::u16string& path);
// Removes a leading "\\?\" prefix, if any.
[[nodiscard]] std::u16string StripExtendedPrefix(const std::u16string& path);

}  // namespace tavrelle
