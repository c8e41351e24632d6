#include "fusepack/BundleWriter.h"

#include <limits>
#include <optional>
#include <stdexcept>
#include <vector>

#include <sys/stat.h>

#include "fusepack/AtomicOutputFile.h"
#include "fusepack/BigEndian.h"
#include "fusepack/PackingProgress.h"
#include "fusepack/SourceTree.h"

namespace tavrelle::fusepack {

namespace {

constexpr uint32_t kMagic = 0x7A786162;  // "zxab"
constexpr uint32_t kVersion = 0;
constexpr uint32_t kHeaderSize = 16;
constexpr uint32_t kBlobChunkId = 0x626C6F62;       // "blob"
constexpr uint32_t kDirectoryChunkId = 0x66646972;  // "fdir"
constexpr unsigned kBundlePermissions = 0666;

void RequireFolder(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    throw std::runtime_error("The folder '" + path + "' does not exist.");
  }
  if (!S_ISDIR(status.st_mode)) {
    throw std::runtime_error("'" + path + "' is not a folder.");
  }
}

std::string Header() {
  std::string header;
  AppendUint32(header, kMagic);
  AppendUint32(header, kVersion);
  AppendUint32(header, kHeaderSize);  // the first chunk follows directly
  AppendUint32(header, 0);            // flags
  return header;
}

std::string ChunkHeader(uint32_t id, uint64_t size) {
  std::string header;
  AppendUint32(header, id);
  AppendUint64(header, size);
  return header;
}

uint64_t TotalSize(const std::vector<SourceFile>& files) {
  uint64_t total = 0;
  for (const SourceFile& file : files) {
    total += file.size;
  }
  return total;
}

// The "fdir" data: the entry count, then one entry per file with its place in the blob.
std::string Directory(const std::vector<SourceFile>& files) {
  if (files.size() > std::numeric_limits<uint32_t>::max()) {
    throw std::runtime_error("A bundle holds at most 4294967295 files.");
  }
  std::string directory;
  AppendUint32(directory, static_cast<uint32_t>(files.size()));
  uint64_t offset = 0;
  for (const SourceFile& file : files) {
    AppendUint32(directory, 0);  // reserved1
    AppendUint32(directory, 0);  // reserved2
    AppendUint64(directory, offset);
    AppendUint64(directory, file.size);
    AppendUint64(directory, 0);  // extra
    directory.push_back('\0');   // compression: stored
    AppendUint32(directory, static_cast<uint32_t>(file.name.size()));
    directory += file.name;
    offset += file.size;
  }
  return directory;
}

std::vector<FileIdentity> OutputIdentities(const AtomicOutputFile& output,
                                           const std::string& outputPath) {
  std::vector<FileIdentity> identities{output.identity()};
  if (const std::optional<FileIdentity> existing = IdentityOf(outputPath)) {
    identities.push_back(*existing);
  }
  return identities;
}

}  // namespace

void WriteBundle(const std::string& sourceFolder, const std::string& outputPath,
                 std::ostream& progressOut) {
  RequireFolder(sourceFolder);
  AtomicOutputFile output(outputPath);
  const std::vector<SourceFile> files =
      CollectSourceFiles(sourceFolder, OutputIdentities(output, outputPath));
  const uint64_t blobSize = TotalSize(files);
  const std::string directory = Directory(files);

  output.write(Header());
  output.write(ChunkHeader(kBlobChunkId, blobSize));
  PackingProgress progress(progressOut, files.size(), blobSize);
  for (const SourceFile& file : files) {
    output.copyFrom(file.path, file.size,
                    [&progress](uint64_t count) { progress.addBytes(count); });
    progress.fileDone();
  }
  progress.finish();
  output.write(ChunkHeader(kDirectoryChunkId, directory.size()));
  output.write(directory);
  output.commit(kBundlePermissions);
}

}  // namespace tavrelle::fusepack
