#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavrelle::chromium {

// Header lines joined with "\n" (a response's header block) as name/value pairs: each
// line is split at its first ':', the value's surrounding blanks dropped; lines
// without a name are skipped.
std::vector<std::pair<std::string, std::string>> parseHeaderBlock(std::string_view block);

// A pattern of the browser's request interception that matches every URL beginning
// with prefix: its wildcard characters are escaped, then "*" appended.
std::string interceptionPatternFor(std::string_view prefix);

}  // namespace tavrelle::chromium
