#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/FolderWriting.h"

namespace tavrelle {
namespace {

constexpr mode_t kPrivateFolder = 0700;
// Unpacked files may be programs an extension starts, as they could be where the
// game was made; they stay the user's own.
constexpr mode_t kPrivateFile = 0700;

class Descriptor {
 public:
  explicit Descriptor(int value) : value_(value) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (value_ >= 0) ::close(value_);
  }
  [[nodiscard]] int get() const { return value_; }
  [[nodiscard]] bool valid() const { return value_ >= 0; }

 private:
  int value_;
};

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool MakeFolders(const std::string& folder) {
  std::string prefix;
  size_t start = 0;
  while (start < folder.size()) {
    const size_t slash = folder.find('/', start + 1);
    prefix = folder.substr(0, slash);
    if (::mkdir(prefix.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
    start = slash;
  }
  struct stat status {};
  return ::lstat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Opens (creating when missing) the sub-folder `name` of the open folder `parent`.
int EnterFolder(int parent, const std::string& name) {
  if (::mkdirat(parent, name.c_str(), kPrivateFolder) != 0 && errno != EEXIST) return -1;
  return ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

bool WriteAll(int descriptor, std::span<const std::byte> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = ::write(descriptor, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<size_t>(wrote);
  }
  return true;
}

}  // namespace

bool RecreateFolder(const std::string& folder) {
  const std::string path = WithoutTrailingSlashes(folder);
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
  return MakeFolders(path);
}

bool WriteFileBelow(const std::string& folder, const std::string& name,
                    std::span<const std::byte> bytes) {
  auto current = std::make_unique<Descriptor>(
      ::open(WithoutTrailingSlashes(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  size_t start = 0;
  for (size_t slash = name.find('/'); slash != std::string::npos; slash = name.find('/', start)) {
    if (!current->valid()) return false;
    current = std::make_unique<Descriptor>(
        EnterFolder(current->get(), name.substr(start, slash - start)));
    start = slash + 1;
  }
  if (!current->valid()) return false;
  const Descriptor file(::openat(current->get(), name.substr(start).c_str(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                                 kPrivateFile));
  if (!file.valid()) return false;
  return WriteAll(file.get(), bytes);
}

}  // namespace tavrelle
