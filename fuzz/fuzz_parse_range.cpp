// fuzz-sources: src/content/RangeHeader.cpp
// Parses arbitrary "Range" values against a size taken from the input's first bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "content/RangeHeader.h"
#include "content/ResourceServer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint64_t resourceSize = 0;
  const size_t sizeBytes = size < sizeof(resourceSize) ? size : sizeof(resourceSize);
  std::memcpy(&resourceSize, data, sizeBytes);
  const std::string_view value(reinterpret_cast<const char*>(data) + sizeBytes, size - sizeBytes);

  const std::string_view trimmed = tavrelle::TrimRangeValue(value);
  if (trimmed.size() > value.size()) {
    std::abort();
  }
  const auto range = tavrelle::ResourceServer::parseRange(trimmed, resourceSize);
  if (range && (range->first > range->last || range->last >= resourceSize)) {
    std::abort();
  }
  return 0;
}
