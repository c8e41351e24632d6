#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavrelle::chromium {

// Splits a command-line text into words the way a POSIX shell does, without running
// one: blanks separate words; single quotes keep everything literally; double quotes
// keep blanks and let a backslash escape ", \, $ and `; outside quotes a backslash
// escapes any character. An unterminated quote runs to the end of the text.
std::vector<std::string> splitCommandLineWords(std::string_view text);

}  // namespace tavrelle::chromium
