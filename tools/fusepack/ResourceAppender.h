#pragma once

#include <string>
#include <vector>

namespace tavrelle::fusepack {

// One resource to pack: its type and name as the host looks them up, and the file
// that holds its bytes.
struct ResourceSource {
  std::string type;
  std::string name;
  std::string path;
};

// Writes `outputPath`: the program file at `programPath` followed by the resources,
// their directory and the trailer (the layout is described in
// app/ResourceDirectory.h). Resources the program already carries are dropped
// first, so packing a packed program again replaces them. The output is executable.
// Throws a sentence on failure, also when a (type, name) pair is given twice; the
// destination is then left as it was.
void AppendResources(const std::string& programPath, const std::vector<ResourceSource>& resources,
                     const std::string& outputPath);

}  // namespace tavrelle::fusepack
