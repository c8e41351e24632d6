#include "platform/ExecutableResources.h"

#include <memory>

#include "app/ResourceDirectory.h"
#include "platform/Files.h"

namespace tavrelle {

namespace {

struct ExecutableImage {
  std::shared_ptr<const MappedFile> mapping;
  ResourceDirectory directory;
};

// The running program file, mapped once and kept for the life of the process so
// that resource bytes can be used in place.
const ExecutableImage& RunningExecutable() {
  static const ExecutableImage image = [] {
    ExecutableImage loaded;
    loaded.mapping = MappedFile::open("/proc/self/exe");
    if (loaded.mapping) {
      loaded.directory = ResourceDirectory::parse(loaded.mapping->bytes());
    }
    return loaded;
  }();
  return image;
}

}  // namespace

std::optional<std::span<const std::byte>> LoadResourceData(const std::string& type,
                                                           const std::string& name) {
  const std::optional<std::span<const std::byte>> data =
      RunningExecutable().directory.find(type, name);
  if (!data || data->empty()) {
    return std::nullopt;
  }
  return data;
}

}  // namespace tavrelle
