#include "fusepack/BundleLister.h"

#include "content/BundleArchive.h"
#include "fusepack/MappedInput.h"

namespace tavrelle::fusepack {

void ListBundle(const std::string& path, std::ostream& out) {
  const MappedInput input(path);
  BundleArchive archive;
  archive.openMemory(input.bytes().data(), input.bytes().size());
  for (const std::string& name : archive.listPaths()) {
    out << archive.lookup(name).size << ' ' << name << '\n';
  }
}

}  // namespace tavrelle::fusepack
