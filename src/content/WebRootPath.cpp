#include "content/WebRootPath.h"

namespace tavrelle {
namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

bool HasParentSegment(std::string_view path) {
  size_t segmentStart = 0;
  for (size_t index = 0; index <= path.size(); ++index) {
    if (index == path.size() || IsSeparator(path[index])) {
      if (path.substr(segmentStart, index - segmentStart) == "..") {
        return true;
      }
      segmentStart = index + 1;
    }
  }
  return false;
}

}  // namespace

// Nothing in the file system stops ".." at the web root, so the request path itself
// must stay inside. A backslash is an ordinary file-name
// byte on Linux, but it counts as a separator here so that a path meant for Windows
// ("..\\secret") is refused as well. A NUL byte would cut the path short.
// Symbolic links inside the web root are followed wherever they point: games use them
// to share asset folders, and only the request path is under the page's control.
std::optional<std::string> WebRootFilePath(const std::string& contentFolder,
                                           std::string_view requestPath) {
  if (requestPath.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  if (!requestPath.empty() && IsSeparator(requestPath.front())) {
    return std::nullopt;
  }
  if (HasParentSegment(requestPath)) {
    return std::nullopt;
  }
  return contentFolder + std::string(requestPath);
}

}  // namespace tavrelle
