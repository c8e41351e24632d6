#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrelle {

// The path of the file that a decoded request path names inside the content folder
// (which ends with "/"), or nothing when the request path could reach outside it.
[[nodiscard]] std::optional<std::string> WebRootFilePath(const std::string& contentFolder,
                                                         std::string_view requestPath);

}  // namespace tavrelle
