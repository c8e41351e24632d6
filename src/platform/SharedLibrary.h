#pragma once

#include <memory>
#include <string>

namespace tavrelle {

// A shared library loaded into the process. Unloaded when the object is destroyed.
class SharedLibrary {
 public:
  SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  virtual ~SharedLibrary() = default;

  // The address of an exported symbol; nullptr when the library has none by that name.
  [[nodiscard]] virtual void* symbol(const char* name) const = 0;
};

// Loads the library at `path` (used as given, never searched for); nullptr when it
// does not exist or cannot be loaded.
[[nodiscard]] std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& path);

}  // namespace tavrelle
