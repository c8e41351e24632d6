#include "runtime/HResult.h"

#include <cstdio>

namespace tavrelle::runtime {

std::string HexOf(HResult result) {
  char text[9];
  std::snprintf(text, sizeof text, "%08X", static_cast<uint32_t>(result));
  return text;
}

}  // namespace tavrelle::runtime
