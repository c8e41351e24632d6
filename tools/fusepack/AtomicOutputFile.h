#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "fusepack/FileIdentity.h"

namespace tavrelle::fusepack {

// An output file that appears under its name only when it is complete: the bytes
// go to a temporary file beside it, which commit() renames into place. Until then
// the destination is untouched, and the destructor removes the temporary file, so
// a failed run never leaves half a file behind.
class AtomicOutputFile {
 public:
  // Creates the temporary file; throws a sentence naming `path` when it cannot.
  explicit AtomicOutputFile(std::string path);
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
  ~AtomicOutputFile();

  void write(std::string_view bytes);
  // Copies exactly `size` bytes of the file at `sourcePath`, reporting each block
  // copied; throws when the file cannot be read or no longer has that size.
  void copyFrom(const std::string& sourcePath, uint64_t size,
                const std::function<void(uint64_t)>& onCopied = {});
  // Flushes to disk, gives the file `permissions` less the umask, and renames it
  // over the destination.
  void commit(unsigned permissions);

  [[nodiscard]] uint64_t bytesWritten() const { return written_; }
  // The temporary file: it may lie inside the folder being packed.
  [[nodiscard]] FileIdentity identity() const { return IdentityOf(descriptor_); }

 private:
  void closeDescriptor();

  std::string path_;
  std::string temporaryPath_;
  int descriptor_ = -1;
  std::unique_ptr<char[]> copyBlock_;  // allocated by the first copy, reused by the rest
  uint64_t written_ = 0;
  bool committed_ = false;
};

}  // namespace tavrelle::fusepack
