#pragma once

#include <ostream>
#include <string>

namespace tavrelle::fusepack {

// Writes "<size> <name>" for every file of the asset bundle at `path`, in name
// order. Throws a sentence when the file cannot be read, and the bundle reader's
// own text ("bad chunk", "bad format", ...) when it rejects the bundle.
void ListBundle(const std::string& path, std::ostream& out);

}  // namespace tavrelle::fusepack
