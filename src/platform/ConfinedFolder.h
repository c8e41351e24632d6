#pragma once

// File operations confined to one folder. Every location is a list of names beneath
// the folder, resolved afresh for each operation relative to the folder itself, so
// that neither a ".." nor a symbolic link can lead outside it: a link is followed only
// while its target stays beneath the folder.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace tavrelle {

// Why a confined operation failed, in the terms of the page's file-system handles.
enum class FileOperationFailure {
  NotFound,             // nothing of that name
  TypeMismatch,         // a file where a folder is wanted, or the other way round
  InvalidModification,  // a folder that is not empty, removed without recursion
  NotAllowed,           // outside the folder, or refused by the system
  NoSpace,              // the disk or the user's quota is full
  Failed,               // any other system error
};

class FileOperationError : public std::runtime_error {
 public:
  FileOperationError(FileOperationFailure failure, const std::string& what)
      : std::runtime_error(what), failure_(failure) {}
  [[nodiscard]] FileOperationFailure failure() const { return failure_; }

 private:
  FileOperationFailure failure_;
};

enum class EntryKind { File, Directory };

struct FolderEntry {
  std::string name;
  EntryKind kind;
};

// Names from the folder down; empty for the folder itself. The caller has checked
// each name to be one plain component.
using RelativePath = std::vector<std::string>;

struct OpenedFile {
  std::unique_ptr<FileReader> reader;
  int64_t lastModifiedMs = 0;
  // The file's absolute path, free of links, checked to name the very file opened (at
  // the time it was opened); empty when there is no such path (the file was removed or
  // replaced meanwhile).
  std::string path;
};

// A new version of a file, written beside it and put in its place only by commit().
// write() may be called from any thread; the rest from the owner's.
class PendingFile {
 public:
  virtual ~PendingFile() = default;  // discards the new version unless committed
  // Writes at an offset of the new version; false when the system refused.
  virtual bool write(uint64_t offset, std::span<const std::byte> bytes) = 0;
  // Throws FileOperationError.
  virtual void truncate(uint64_t size) = 0;
  // Replaces the file with the new version. Throws FileOperationError; the old file
  // stays as it was then.
  virtual void commit() = 0;
  // Drops the new version; the file stays as it was.
  virtual void discard() = 0;
};

// Every operation throws FileOperationError.
class ConfinedFolder {
 public:
  // Nothing when the path is not an existing folder that can be opened.
  static std::unique_ptr<ConfinedFolder> open(const std::string& path);

  ConfinedFolder(const ConfinedFolder&) = delete;
  ConfinedFolder& operator=(const ConfinedFolder&) = delete;
  ~ConfinedFolder();

  [[nodiscard]] EntryKind kindOf(const RelativePath& path) const;
  // Creates the folder unless a folder of that name exists.
  void createDirectory(const RelativePath& parent, const std::string& name) const;
  // Creates an empty file unless a file of that name exists.
  void createFile(const RelativePath& parent, const std::string& name) const;
  // The files and folders inside, links that stay beneath the folder by their targets'
  // kinds; files of unfinished writes are left out.
  [[nodiscard]] std::vector<FolderEntry> list(const RelativePath& path) const;
  void remove(const RelativePath& parent, const std::string& name, bool recursive) const;
  [[nodiscard]] OpenedFile openForReading(const RelativePath& path) const;
  // Starts a new version of an existing file, holding its current bytes when
  // keepExistingData is set, else empty.
  [[nodiscard]] std::unique_ptr<PendingFile> beginWrite(const RelativePath& parent,
                                                        const std::string& name,
                                                        bool keepExistingData) const;

 private:
  explicit ConfinedFolder(int handle) : handle_(handle) {}
  int handle_;
};

}  // namespace tavrelle
