#include "fusepack/SourceTree.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <stdexcept>

#include <dirent.h>
#include <sys/stat.h>

#include "fusepack/SystemError.h"

namespace tavrelle::fusepack {

namespace {

struct DirectoryCloser {
  void operator()(DIR* directory) const { ::closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

class TreeWalker {
 public:
  explicit TreeWalker(const std::vector<FileIdentity>& excluded) : excluded_(excluded) {}

  void walk(const std::string& folderPath, const std::string& namePrefix) {
    const DirectoryHandle directory(::opendir(folderPath.c_str()));
    if (!directory) {
      ThrowSystemError("Cannot read the folder '" + folderPath + "'");
    }
    const std::string folderPrefix = folderPath + "/";
    for (const std::string& entry : entryNames(directory.get(), folderPath)) {
      visit(folderPrefix + entry, namePrefix + entry);
    }
  }

  std::vector<SourceFile> takeFiles() { return std::move(files_); }

 private:
  static std::vector<std::string> entryNames(DIR* directory, const std::string& folderPath) {
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") {
        names.push_back(name);
      }
      errno = 0;
    }
    if (errno != 0) {
      ThrowSystemError("Cannot read the folder '" + folderPath + "'");
    }
    return names;
  }

  void visit(const std::string& path, const std::string& name) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
      ThrowSystemError("Cannot examine '" + path + "'");
    }
    if (S_ISDIR(status.st_mode)) {
      walk(path, name + "/");
      return;
    }
    // A dangling or looping link, or a link to anything but a regular file, is not
    // a file to pack.
    if (S_ISLNK(status.st_mode) && ::stat(path.c_str(), &status) != 0) {
      if (errno == ENOENT || errno == ELOOP) {
        return;
      }
      ThrowSystemError("Cannot examine '" + path + "'");
    }
    if (S_ISREG(status.st_mode) && !isExcluded(FileIdentity{status.st_dev, status.st_ino})) {
      files_.push_back(SourceFile{name, path, static_cast<uint64_t>(status.st_size)});
    }
  }

  bool isExcluded(const FileIdentity& identity) const {
    return std::find(excluded_.begin(), excluded_.end(), identity) != excluded_.end();
  }

  const std::vector<FileIdentity>& excluded_;
  std::vector<SourceFile> files_;
};

}  // namespace

std::vector<SourceFile> CollectSourceFiles(const std::string& root,
                                           const std::vector<FileIdentity>& excluded) {
  TreeWalker walker(excluded);
  walker.walk(root, "");
  std::vector<SourceFile> files = walker.takeFiles();
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
  return files;
}

}  // namespace tavrelle::fusepack
