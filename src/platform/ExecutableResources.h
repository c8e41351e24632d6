#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

namespace tavrelle {

// Data packed into the executable by the packager (a directory and trailer
// appended to the program file). The bytes stay valid for the life of the process.
// Nothing when the resource does not exist or is empty.
[[nodiscard]] std::optional<std::span<const std::byte>> LoadResourceData(const std::string& type,
                                                                         const std::string& name);

}  // namespace tavrelle
