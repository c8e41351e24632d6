#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

namespace tavrelle {

// Resources packed into an executable by the packager: named byte blocks appended
// to the program file, found through a fixed trailer at the very end of the file.
//
//   [program file][resource bytes ...][directory][trailer]
//
// All integers are unsigned and big-endian, like those of an asset bundle.
//
// Trailer, the last kResourceTrailerSize bytes of the file:
//   0  8  payloadStart     offset of the first byte after the program file
//   8  8  directoryOffset  offset of the directory; it runs up to the trailer
//  16  4  entryCount       number of directory entries
//  20  4  reserved         must be 0
//  24  8  magic            kResourceTrailerMagic
//
// Directory entry, back to back:
//   0  4  typeLength
//   4  4  nameLength
//   8  8  offset           of the resource's first byte, counted from the start of the file
//  16  8  size
//  24     type bytes, then name bytes (UTF-8, no terminator)
//
// Every resource lies between payloadStart and directoryOffset. Types and names
// compare byte for byte; when a (type, name) pair repeats, the first entry counts.
inline constexpr std::string_view kResourceTrailerMagic{"ZXRSRC\0\1", 8};
inline constexpr size_t kResourceTrailerSize = 32;
inline constexpr size_t kResourceEntryHeaderSize = 24;

class ResourceDirectory {
 public:
  // Reads the trailer and directory at the end of `file`. A file without a trailer,
  // or with one that is damaged in any way, has no resources.
  static ResourceDirectory parse(std::span<const std::byte> file);

  // The bytes of a resource, inside the span given to parse().
  [[nodiscard]] std::optional<std::span<const std::byte>> find(std::string_view type,
                                                               std::string_view name) const;
  [[nodiscard]] size_t size() const { return entries_.size(); }
  // Length of the program file before any appended resources: the whole file when
  // it carries none.
  [[nodiscard]] uint64_t programSize() const { return programSize_; }

 private:
  using Key = std::pair<std::string, std::string>;
  std::map<Key, std::span<const std::byte>> entries_;
  uint64_t programSize_ = 0;
};

}  // namespace tavrelle
