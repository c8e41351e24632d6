#include "fusepack/HostLocator.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace tavrelle::fusepack {

namespace {

// The folder part of a path, with its trailing "/"; nothing for a bare name.
std::optional<std::string> FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return std::nullopt;
  }
  return path.substr(0, slash + 1);
}

bool IsRegularFile(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

std::vector<std::string> HostCandidates(const std::string& startedAs,
                                        const std::string& resolvedExecutable) {
  std::vector<std::string> candidates;
  for (const std::string& executable : {startedAs, resolvedExecutable}) {
    const std::optional<std::string> folder = FolderOf(executable);
    if (!folder) {
      continue;
    }
    std::string candidate = *folder + kHostExecutableName;
    if (std::find(candidates.begin(), candidates.end(), candidate) == candidates.end()) {
      candidates.push_back(std::move(candidate));
    }
  }
  return candidates;
}

std::optional<std::string> FindHostExecutable(const std::vector<std::string>& candidates) {
  for (const std::string& candidate : candidates) {
    if (IsRegularFile(candidate)) {
      return candidate;
    }
  }
  return std::nullopt;
}

std::string ResolvedOwnExecutable() {
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : resolved.string();
}

}  // namespace tavrelle::fusepack
