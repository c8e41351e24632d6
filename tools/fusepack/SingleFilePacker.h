#pragma once

#include <ostream>
#include <string>

namespace tavrelle::fusepack {

// Writes the single-file game `outputPath`: a copy of the host executable at
// `hostPath` carrying APPDIR/package.json as "PackageJson", a bundle of APPDIR/www as
// "AssetBundle" and, when APPDIR/extensions exists, a bundle of every file under it
// as "Extensions" (names relative to that folder). All of type "ZephyxData". The
// output is executable. Throws a sentence on failure; the destination is then left as
// it was.
void WriteSingleFile(const std::string& appFolder, const std::string& hostPath,
                     const std::string& outputPath, std::ostream& progress);

}  // namespace tavrelle::fusepack
