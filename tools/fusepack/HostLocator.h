#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tavrelle::fusepack {

// The file name of the host executable that single-file games are built from.
inline constexpr const char* kHostExecutableName = "tavrelle";

// The places the host executable is looked for when none is named: beside the path
// fusepack was started as (when that path names a folder), then beside fusepack's
// own resolved executable. Each once, in that order.
[[nodiscard]] std::vector<std::string> HostCandidates(const std::string& startedAs,
                                                      const std::string& resolvedExecutable);

// The first candidate that is a regular file; nothing when none is.
[[nodiscard]] std::optional<std::string> FindHostExecutable(
    const std::vector<std::string>& candidates);

// fusepack's own executable, links resolved; empty when unknown.
[[nodiscard]] std::string ResolvedOwnExecutable();

}  // namespace tavrelle::fusepack
