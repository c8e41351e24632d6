#pragma once

#include <string>

namespace tavrelle::chromium {

// 128 random bits as 32 lowercase hex digits: a secret only the page script is given.
[[nodiscard]] std::string randomKey();

}  // namespace tavrelle::chromium
