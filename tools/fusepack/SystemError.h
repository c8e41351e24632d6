#pragma once

#include <string>

namespace tavrelle::fusepack {

// The current errno as a sentence fragment, e.g. "No such file or directory".
[[nodiscard]] std::string LastSystemError();

// Throws std::runtime_error with "<what>: <errno text>."
[[noreturn]] void ThrowSystemError(const std::string& what);

}  // namespace tavrelle::fusepack
