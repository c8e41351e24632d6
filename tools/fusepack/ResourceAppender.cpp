#include "fusepack/ResourceAppender.h"

#include <cstdint>
#include <limits>
#include <set>
#include <stdexcept>
#include <string_view>
#include <utility>

#include <sys/stat.h>

#include "app/ResourceDirectory.h"
#include "fusepack/AtomicOutputFile.h"
#include "fusepack/BigEndian.h"
#include "fusepack/MappedInput.h"
#include "fusepack/SystemError.h"

namespace tavrelle::fusepack {

namespace {

constexpr unsigned kProgramPermissions = 0777;

void RequireDistinctKeys(const std::vector<ResourceSource>& resources) {
  std::set<std::pair<std::string, std::string>> seen;
  for (const ResourceSource& resource : resources) {
    if (!seen.emplace(resource.type, resource.name).second) {
      throw std::runtime_error("The resource '" + resource.type + "/" + resource.name +
                               "' is given twice.");
    }
  }
}

uint32_t LengthField(const std::string& text) {
  if (text.size() > std::numeric_limits<uint32_t>::max()) {
    throw std::runtime_error("A resource type or name is too long.");
  }
  return static_cast<uint32_t>(text.size());
}

uint64_t SizeOfFile(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    ThrowSystemError("Cannot read '" + path + "'");
  }
  if (!S_ISREG(status.st_mode)) {
    throw std::runtime_error("'" + path + "' is not a file.");
  }
  return static_cast<uint64_t>(status.st_size);
}

void AppendEntry(std::string& directory, const ResourceSource& resource, uint64_t offset,
                 uint64_t size) {
  AppendUint32(directory, LengthField(resource.type));
  AppendUint32(directory, LengthField(resource.name));
  AppendUint64(directory, offset);
  AppendUint64(directory, size);
  directory += resource.type;
  directory += resource.name;
}

std::string Trailer(uint64_t payloadStart, uint64_t directoryOffset, size_t entryCount) {
  if (entryCount > std::numeric_limits<uint32_t>::max()) {
    throw std::runtime_error("Too many resources.");
  }
  std::string trailer;
  AppendUint64(trailer, payloadStart);
  AppendUint64(trailer, directoryOffset);
  AppendUint32(trailer, static_cast<uint32_t>(entryCount));
  AppendUint32(trailer, 0);  // reserved
  trailer += kResourceTrailerMagic;
  return trailer;
}

// Copies the program file without the resources it may already carry.
void WriteProgram(const std::string& programPath, AtomicOutputFile& output) {
  const MappedInput program(programPath);
  const std::span<const std::byte> bytes = program.bytes();
  const uint64_t programSize = ResourceDirectory::parse(bytes).programSize();
  output.write(std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                static_cast<size_t>(programSize)));
}

}  // namespace

void AppendResources(const std::string& programPath, const std::vector<ResourceSource>& resources,
                     const std::string& outputPath) {
  RequireDistinctKeys(resources);
  AtomicOutputFile output(outputPath);
  WriteProgram(programPath, output);
  const uint64_t payloadStart = output.bytesWritten();
  std::string directory;
  for (const ResourceSource& resource : resources) {
    const uint64_t offset = output.bytesWritten();
    const uint64_t size = SizeOfFile(resource.path);
    output.copyFrom(resource.path, size);
    AppendEntry(directory, resource, offset, size);
  }
  const uint64_t directoryOffset = output.bytesWritten();
  output.write(directory);
  output.write(Trailer(payloadStart, directoryOffset, resources.size()));
  output.commit(kProgramPermissions);
}

}  // namespace tavrelle::fusepack
