// fuzz-sources: src/app/ResourceDirectory.cpp
// Any bytes as an executable with appended resources: parsing never fails, never
// reads outside the input, and the program part never exceeds it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "app/ResourceDirectory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = std::as_bytes(std::span(data, size));
  const tavrelle::ResourceDirectory directory = tavrelle::ResourceDirectory::parse(file);
  if (directory.programSize() > size) {
    std::abort();
  }
  return 0;
}
