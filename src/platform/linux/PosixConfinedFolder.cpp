#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "platform/ConfinedFolder.h"

namespace tavrelle {
namespace {

// The prefix of the files that hold unfinished writes; listings leave them out.
constexpr std::string_view kPendingPrefix = ".tavrelle-write-";
constexpr size_t kCopyChunk = size_t{64} << 20;

[[noreturn]] void Fail(int error, const std::string& what) {
  FileOperationFailure failure = FileOperationFailure::Failed;
  switch (error) {
    case ENOENT:
      failure = FileOperationFailure::NotFound;
      break;
    case ENOTDIR:
    case EISDIR:
      failure = FileOperationFailure::TypeMismatch;
      break;
    case ENOTEMPTY:
    case EEXIST:
      failure = FileOperationFailure::InvalidModification;
      break;
    case EXDEV:
    case ELOOP:
    case EACCES:
    case EPERM:
    case EROFS:
      failure = FileOperationFailure::NotAllowed;
      break;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      failure = FileOperationFailure::NoSpace;
      break;
    default:
      break;
  }
  throw FileOperationError(failure, what + ": " + std::strerror(error));
}

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  [[nodiscard]] int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string Joined(const RelativePath& path) {
  if (path.empty()) return ".";
  std::string joined;
  for (const auto& name : path) {
    if (!joined.empty()) joined += '/';
    joined += name;
  }
  return joined;
}

// Opens a location beneath the folder. Links are followed only while they stay
// beneath it; the kernel refuses the rest (EXDEV). Without openat2 every link is
// refused instead.
int OpenBeneath(int root, const RelativePath& path, int flags) {
  const std::string relative = Joined(path);
  open_how how{};
  how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
  how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
  long fd = -1;
  do {
    fd = ::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);

  Descriptor current(::fcntl(root, F_DUPFD_CLOEXEC, 0));
  for (size_t i = 0; i < path.size() && current.get() >= 0; ++i) {
    bool last = i + 1 == path.size();
    int stepFlags =
        last ? flags | O_NOFOLLOW | O_CLOEXEC : O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    current = Descriptor(::openat(current.get(), path[i].c_str(), stepFlags));
  }
  if (path.empty() && current.get() >= 0) {
    current = Descriptor(::openat(current.get(), ".", flags | O_CLOEXEC));
  }
  return current.release();
}

Descriptor OpenDirectory(int root, const RelativePath& path) {
  Descriptor fd(OpenBeneath(root, path, O_RDONLY | O_DIRECTORY));
  if (fd.get() < 0) Fail(errno, "cannot open the folder");
  return fd;
}

RelativePath ChildPath(const RelativePath& parent, const std::string& name) {
  RelativePath child = parent;
  child.push_back(name);
  return child;
}

std::optional<struct stat> StatAt(int directory, const char* name, int flags) {
  struct stat status {};
  if (::fstatat(directory, name, &status, flags) != 0) return std::nullopt;
  return status;
}

// The absolute path of an open file, when that path still leads to the same file.
std::string CheckedPathOf(int fd, const struct stat& opened) {
  std::array<char, 4096> target{};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  ssize_t length = ::readlink(link.c_str(), target.data(), target.size());
  if (length <= 0 || static_cast<size_t>(length) >= target.size() || target[0] != '/') return {};
  std::string path(target.data(), static_cast<size_t>(length));
  struct stat named {};
  if (::stat(path.c_str(), &named) != 0) return {};
  if (named.st_dev != opened.st_dev || named.st_ino != opened.st_ino) return {};
  return path;
}

std::string PendingName() {
  std::array<unsigned char, 8> random{};
  if (::getrandom(random.data(), random.size(), 0) != static_cast<ssize_t>(random.size()))
    Fail(errno == 0 ? EIO : errno, "no random name");
  static constexpr std::string_view kHex = "0123456789abcdef";
  std::string name(kPendingPrefix);
  for (unsigned char byte : random) {
    name += kHex[byte >> 4];
    name += kHex[byte & 0xf];
  }
  return name + ".tmp";
}

void CopyAll(int from, int to) {
  for (;;) {
    ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, kCopyChunk, 0);
    if (copied == 0) return;
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
      Fail(errno, "cannot copy the file");
    break;
  }
  std::vector<char> buffer(size_t{1} << 20);
  for (;;) {
    ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got == 0) return;
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(errno, "cannot read the file");
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::write(to, buffer.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) Fail(errno, "cannot copy the file");
      done += put;
    }
  }
}

void RemoveTree(int parent, const char* name) {
  Descriptor folder(::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0) Fail(errno, "cannot open the folder");
  DIR* listing = ::fdopendir(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
  if (listing == nullptr) Fail(errno, "cannot list the folder");
  std::vector<std::string> names;
  while (dirent* entry = ::readdir(listing)) {
    std::string_view entryName = entry->d_name;
    if (entryName != "." && entryName != "..") names.emplace_back(entryName);
  }
  ::closedir(listing);
  for (const auto& child : names) {
    if (::unlinkat(folder.get(), child.c_str(), 0) == 0) continue;
    if (errno != EISDIR && errno != EPERM) Fail(errno, "cannot remove " + child);
    RemoveTree(folder.get(), child.c_str());
  }
  if (::unlinkat(parent, name, AT_REMOVEDIR) != 0) Fail(errno, "cannot remove the folder");
}

class PosixPendingFile final : public PendingFile {
 public:
  PosixPendingFile(Descriptor folder, Descriptor file, std::string pendingName, std::string name)
      : folder_(std::move(folder)),
        file_(std::move(file)),
        pendingName_(std::move(pendingName)),
        name_(std::move(name)) {}
  ~PosixPendingFile() override { discard(); }

  [[nodiscard]] int descriptor() const { return file_.get(); }

  bool write(uint64_t offset, std::span<const std::byte> bytes) override {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t put = ::pwrite(file_.get(), bytes.data() + done, bytes.size() - done,
                             static_cast<off_t>(offset + done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += static_cast<size_t>(put);
    }
    return true;
  }

  void truncate(uint64_t size) override {
    if (::ftruncate(file_.get(), static_cast<off_t>(size)) != 0) Fail(errno, "cannot truncate");
  }

  void commit() override {
    if (finished_) Fail(EBADF, "already closed");
    // On disk before it replaces the old version: a crash leaves the one or the other.
    if (::fdatasync(file_.get()) != 0) Fail(errno, "cannot write the file");
    if (::renameat(folder_.get(), pendingName_.c_str(), folder_.get(), name_.c_str()) != 0)
      Fail(errno, "cannot replace the file");
    finished_ = true;
  }

  void discard() override {
    if (finished_) return;
    finished_ = true;
    ::unlinkat(folder_.get(), pendingName_.c_str(), 0);
  }

 private:
  Descriptor folder_;
  Descriptor file_;
  std::string pendingName_;
  std::string name_;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<ConfinedFolder> ConfinedFolder::open(const std::string& path) {
  if (path.empty()) return nullptr;
  int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::unique_ptr<ConfinedFolder>(new ConfinedFolder(fd));
}

ConfinedFolder::~ConfinedFolder() { ::close(handle_); }

EntryKind ConfinedFolder::kindOf(const RelativePath& path) const {
  Descriptor fd(OpenBeneath(handle_, path, O_PATH));
  if (fd.get() < 0) Fail(errno, "cannot find the entry");
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) Fail(errno, "cannot examine the entry");
  if (S_ISDIR(status.st_mode)) return EntryKind::Directory;
  if (S_ISREG(status.st_mode)) return EntryKind::File;
  Fail(EACCES, "neither a file nor a folder");
}

void ConfinedFolder::createDirectory(const RelativePath& parent, const std::string& name) const {
  Descriptor folder = OpenDirectory(handle_, parent);
  if (::mkdirat(folder.get(), name.c_str(), 0777) == 0) return;
  if (errno != EEXIST) Fail(errno, "cannot create the folder");
  if (kindOf(ChildPath(parent, name)) != EntryKind::Directory) Fail(ENOTDIR, "a file of that name");
}

void ConfinedFolder::createFile(const RelativePath& parent, const std::string& name) const {
  Descriptor folder = OpenDirectory(handle_, parent);
  Descriptor file(
      ::openat(folder.get(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (file.get() >= 0) return;
  if (errno != EEXIST) Fail(errno, "cannot create the file");
  if (kindOf(ChildPath(parent, name)) != EntryKind::File) Fail(EISDIR, "a folder of that name");
}

std::vector<FolderEntry> ConfinedFolder::list(const RelativePath& path) const {
  Descriptor folder = OpenDirectory(handle_, path);
  DIR* listing = ::fdopendir(::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
  if (listing == nullptr) Fail(errno, "cannot list the folder");
  std::vector<FolderEntry> entries;
  std::vector<std::string> links;
  while (dirent* entry = ::readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name == "." || name == ".." || name.starts_with(kPendingPrefix)) continue;
    auto status = StatAt(folder.get(), entry->d_name, AT_SYMLINK_NOFOLLOW);
    if (!status) continue;
    if (S_ISDIR(status->st_mode)) {
      entries.push_back({std::string(name), EntryKind::Directory});
    } else if (S_ISREG(status->st_mode)) {
      entries.push_back({std::string(name), EntryKind::File});
    } else if (S_ISLNK(status->st_mode)) {
      links.emplace_back(name);
    }
  }
  ::closedir(listing);
  for (auto& link : links) {
    try {
      EntryKind kind = kindOf(ChildPath(path, link));
      entries.push_back({std::move(link), kind});
    } catch (const FileOperationError&) {
      // A link that leads outside the folder, or nowhere, is not shown.
    }
  }
  return entries;
}

void ConfinedFolder::remove(const RelativePath& parent, const std::string& name,
                            bool recursive) const {
  Descriptor folder = OpenDirectory(handle_, parent);
  auto status = StatAt(folder.get(), name.c_str(), AT_SYMLINK_NOFOLLOW);
  if (!status) Fail(errno, "cannot find the entry");
  if (!S_ISDIR(status->st_mode)) {
    if (::unlinkat(folder.get(), name.c_str(), 0) != 0) Fail(errno, "cannot remove the file");
    return;
  }
  if (::unlinkat(folder.get(), name.c_str(), AT_REMOVEDIR) == 0) return;
  if ((errno != ENOTEMPTY && errno != EEXIST) || !recursive)
    Fail(errno, "cannot remove the folder");
  RemoveTree(folder.get(), name.c_str());
}

OpenedFile ConfinedFolder::openForReading(const RelativePath& path) const {
  Descriptor fd(OpenBeneath(handle_, path, O_RDONLY | O_NONBLOCK));
  if (fd.get() < 0) Fail(errno, "cannot open the file");
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) Fail(errno, "cannot examine the file");
  if (S_ISDIR(status.st_mode)) Fail(EISDIR, "a folder");
  if (!S_ISREG(status.st_mode)) Fail(EACCES, "not a regular file");
  OpenedFile opened;
  opened.lastModifiedMs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000 +
                          static_cast<int64_t>(status.st_mtim.tv_nsec / 1'000'000);
  opened.path = CheckedPathOf(fd.get(), status);
  opened.reader.reset(new FileReader(fd.release(), static_cast<uint64_t>(status.st_size)));
  return opened;
}

std::unique_ptr<PendingFile> ConfinedFolder::beginWrite(const RelativePath& parent,
                                                        const std::string& name,
                                                        bool keepExistingData) const {
  Descriptor folder = OpenDirectory(handle_, parent);
  Descriptor existing(OpenBeneath(handle_, ChildPath(parent, name), O_RDONLY | O_NONBLOCK));
  if (existing.get() < 0) Fail(errno, "cannot open the file");
  struct stat status {};
  if (::fstat(existing.get(), &status) != 0) Fail(errno, "cannot examine the file");
  if (S_ISDIR(status.st_mode)) Fail(EISDIR, "a folder");
  if (!S_ISREG(status.st_mode)) Fail(EACCES, "not a regular file");
  std::string pendingName = PendingName();
  Descriptor pending(::openat(folder.get(), pendingName.c_str(),
                              O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, status.st_mode & 0777));
  if (pending.get() < 0) Fail(errno, "cannot create the new version");
  auto file = std::make_unique<PosixPendingFile>(std::move(folder), Descriptor(pending.release()),
                                                 std::move(pendingName), name);
  // A failing copy throws, and the new version goes with `file`.
  if (keepExistingData) CopyAll(existing.get(), file->descriptor());
  return file;
}

}  // namespace tavrelle
