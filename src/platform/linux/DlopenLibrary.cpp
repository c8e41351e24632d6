#include <dlfcn.h>

#include "platform/SharedLibrary.h"

namespace tavrelle {
namespace {

class DlopenLibrary final : public SharedLibrary {
 public:
  explicit DlopenLibrary(void* handle) : handle_(handle) {}
  DlopenLibrary(const DlopenLibrary&) = delete;
  DlopenLibrary& operator=(const DlopenLibrary&) = delete;
  ~DlopenLibrary() override { ::dlclose(handle_); }

  [[nodiscard]] void* symbol(const char* name) const override { return ::dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

// RTLD_LOCAL keeps the library's symbols from resolving anyone else's; RTLD_NOW reports
// a library with unresolved symbols here rather than with a crash on its first call.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::string& path) {
  if (path.find('/') == std::string::npos) {
    return nullptr;  // a bare name would make the loader search its own path list
  }
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    return nullptr;
  }
  return std::make_unique<DlopenLibrary>(handle);
}

}  // namespace tavrelle
