// fuzz-sources: src/content/BundleArchive.cpp
// Opens arbitrary bytes as a bundle; every file it accepts must lie inside the blob.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "content/BundleArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto* bytes = reinterpret_cast<const std::byte*>(data);
  tavrelle::BundleArchive archive;
  try {
    archive.openMemory(bytes, size);
  } catch (const std::runtime_error&) {
    return 0;
  } catch (const std::out_of_range&) {
    return 0;
  }
  uint8_t sum = 0;
  for (const std::string& path : archive.listPaths()) {
    const tavrelle::BundleFileInfo info = archive.lookup(path);
    if (!info.found) {
      std::abort();
    }
    const std::byte* first = archive.dataPointer(info.offset);
    if (first < bytes || first + info.size > bytes + size) {
      std::abort();
    }
    // Touch the first and last byte so that the sanitizer checks the bounds too.
    if (info.size > 0) {
      sum ^= std::to_integer<uint8_t>(first[0]) ^ std::to_integer<uint8_t>(first[info.size - 1]);
    }
  }
  return sum == 0xFFFF ? 1 : 0;
}
