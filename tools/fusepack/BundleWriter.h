#pragma once

#include <ostream>
#include <string>

namespace tavrelle::fusepack {

// Packs every regular file under `sourceFolder` into the asset bundle `outputPath`
// ("zxab", version 0: a "blob" chunk with the files' bytes in name order, then an
// "fdir" chunk). The output is deterministic for the same files, and the output
// file itself is never packed, even when it lies inside the folder. Files are
// streamed, never held in memory whole. Large runs report progress on `progress`.
// Throws a sentence on failure; the destination is then left as it was.
void WriteBundle(const std::string& sourceFolder, const std::string& outputPath,
                 std::ostream& progress);

}  // namespace tavrelle::fusepack
