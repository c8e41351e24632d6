#include "platform/chromium/RandomKey.h"

#include <cstdio>
#include <random>

namespace tavrelle::chromium {

std::string randomKey() {
  std::random_device source;
  std::string key;
  for (int i = 0; i < 4; ++i) {
    char word[9];
    std::snprintf(word, sizeof word, "%08x", static_cast<unsigned>(source()));
    key += word;
  }
  return key;
}

}  // namespace tavrelle::chromium
