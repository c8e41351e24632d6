#pragma once

#include <string_view>

namespace tavrelle {

// A name a directory handle accepts for one of its entries: exactly one path
// component. Empty names, "." and "..", and names holding "/", "\" or NUL are refused,
// so that no name can reach outside the handle's folder.
[[nodiscard]] bool IsValidEntryName(std::string_view name);

}  // namespace tavrelle
