#include "app/ResourceDirectory.h"

#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "tools/fusepack/PackedFiles.h"

namespace tavrelle {
namespace {

using test::Text;

std::string Be(uint64_t value, size_t width) {
  std::string out;
  for (size_t i = width; i > 0; --i) {
    out.push_back(static_cast<char>((value >> (8 * (i - 1))) & 0xFF));
  }
  return out;
}

std::string Entry(std::string_view type, std::string_view name, uint64_t offset, uint64_t size) {
  return Be(type.size(), 4) + Be(name.size(), 4) + Be(offset, 8) + Be(size, 8) + std::string(type) +
         std::string(name);
}

std::string Trailer(uint64_t payloadStart, uint64_t directoryOffset, uint32_t count,
                    uint32_t reserved = 0) {
  return Be(payloadStart, 8) + Be(directoryOffset, 8) + Be(count, 4) + Be(reserved, 4) +
         std::string(kResourceTrailerMagic);
}

std::span<const std::byte> Bytes(const std::string& file) {
  return std::as_bytes(std::span(file.data(), file.size()));
}

TEST(ResourceDirectoryTest, FilesWithoutATrailerHaveNoResources) {
  for (const std::string& file : {std::string(), std::string("short"), std::string(200, 'x'),
                                  std::string(kResourceTrailerMagic)}) {
    const ResourceDirectory directory = ResourceDirectory::parse(Bytes(file));
    EXPECT_EQ(directory.size(), 0u);
    EXPECT_EQ(directory.programSize(), file.size());
  }
}

TEST(ResourceDirectoryTest, DamagedTrailersOrDirectoriesGiveNoResources) {
  const std::string entry = Entry("t", "n", 7, 4);
  const auto file = [](const std::string& directory, const std::string& trailer) {
    return "PROGRAMdata" + directory + trailer;
  };
  const std::vector<std::string> damaged = {
      file(entry, Trailer(7, 11, 1, 1)),               // reserved not 0
      file(entry, Trailer(12, 11, 1)),                 // payload after the directory
      file(entry, Trailer(7, 1000, 1)),                // directory past the trailer
      file(entry, Trailer(7, UINT64_MAX, 1)),          // offset overflow
      file(entry, Trailer(7, 11, 2)),                  // more entries than the directory holds
      file(entry.substr(0, 20), Trailer(7, 11, 1)),    // entry cut short
      file(Entry("t", "n", 6, 4), Trailer(7, 11, 1)),  // starts inside the program
      file(Entry("t", "n", 7, 5), Trailer(7, 11, 1)),  // ends inside the directory
      file(Entry("t", "n", 8, UINT64_MAX), Trailer(7, 11, 1)),       // size overflow
      file(Be(0xFFFFFFFF, 4) + entry.substr(4), Trailer(7, 11, 1)),  // huge type length
  };
  for (size_t i = 0; i < damaged.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ResourceDirectory::parse(Bytes(damaged[i])).size(), 0u);
    EXPECT_EQ(ResourceDirectory::parse(Bytes(damaged[i])).programSize(), damaged[i].size());
  }
  EXPECT_EQ(Text(ResourceDirectory::parse(Bytes(file(entry, Trailer(7, 11, 1)))).find("t", "n")),
            "data");
}

}  // namespace
}  // namespace tavrelle
