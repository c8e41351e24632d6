#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavrelle::fusepack {

// Appends the low `width` bytes of `value`, most significant first.
inline void AppendBigEndian(std::string& out, uint64_t value, size_t width) {
  for (size_t i = width; i > 0; --i) {
    out.push_back(static_cast<char>((value >> (8 * (i - 1))) & 0xFF));
  }
}

inline void AppendUint32(std::string& out, uint32_t value) { AppendBigEndian(out, value, 4); }
inline void AppendUint64(std::string& out, uint64_t value) { AppendBigEndian(out, value, 8); }

}  // namespace tavrelle::fusepack
