#pragma once

#include <string_view>

namespace tavrelle {

// The value of a "Range" header without white space (space, tab, line feed, vertical
// tab, form feed, carriage return) at either end. ResourceServer::parseRange, which
// reads the value itself, is defined beside it in RangeHeader.cpp.
[[nodiscard]] std::string_view TrimRangeValue(std::string_view value);

}  // namespace tavrelle
