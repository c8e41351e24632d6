#include "runtime/RuntimeVersion.h"

#include <algorithm>

namespace tavrelle::runtime {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<RuntimeVersion> ParseRuntimeVersion(std::string_view text) {
  if (text.empty() || !IsDigit(text.front())) return std::nullopt;
  RuntimeVersion version{};
  size_t at = 0;
  for (size_t part = 0; part < version.size(); ++part) {
    if (at >= text.size() || !IsDigit(text[at])) break;
    uint64_t value = 0;
    while (at < text.size() && IsDigit(text[at])) {
      value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text[at] - '0'), 0xFFFFFFFFu);
      ++at;
    }
    version[part] = static_cast<uint32_t>(value);
    if (at >= text.size() || text[at] != '.') break;
    ++at;
  }
  return version;
}

bool IsCompatibleRuntimeVersion(const RuntimeVersion& version) {
  return version >= kMinimumRuntimeVersion;
}

bool IsExactVersionText(std::string_view text) {
  if (text.empty() || text.front() == '.' || text.back() == '.') return false;
  int dots = 0;
  char previous = '\0';
  for (char c : text) {
    if (c == '.') {
      if (previous == '.') return false;
      ++dots;
    } else if (!IsDigit(c)) {
      return false;
    }
    previous = c;
  }
  return dots == 3;
}

}  // namespace tavrelle::runtime
