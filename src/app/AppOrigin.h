#pragma once

#include <string_view>

namespace tavrelle {

// The origin under which the application's files are served, with its trailing "/".
// Saved games in localStorage and IndexedDB are keyed by it: it never changes.
inline constexpr std::string_view AppOrigin = "https://tavrelle.localhost/";

}  // namespace tavrelle
