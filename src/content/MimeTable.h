#pragma once

#include <string>
#include <string_view>

namespace tavrelle {

// Content types of the application's files, by file-name extension.
class MimeTable {
 public:
  // The extension runs from the last "." anywhere in the path (not only in the last
  // segment) and is compared after ASCII lower-casing; unknown or missing extensions
  // give "application/octet-stream".
  [[nodiscard]] static std::string lookup(std::string_view path);
};

}  // namespace tavrelle
