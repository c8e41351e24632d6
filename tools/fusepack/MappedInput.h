#pragma once

#include <cstddef>
#include <span>
#include <string>

namespace tavrelle::fusepack {

// A whole input file mapped read-only. An empty file gives an empty span.
class MappedInput {
 public:
  // Throws a sentence naming `path` when the file cannot be opened or mapped.
  explicit MappedInput(const std::string& path);
  MappedInput(const MappedInput&) = delete;
  MappedInput& operator=(const MappedInput&) = delete;
  ~MappedInput();

  [[nodiscard]] std::span<const std::byte> bytes() const { return {data_, size_}; }

 private:
  const std::byte* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace tavrelle::fusepack
