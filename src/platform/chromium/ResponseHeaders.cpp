#include "platform/chromium/ResponseHeaders.h"

namespace tavrelle::chromium {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> parseHeaderBlock(std::string_view block) {
  std::vector<std::pair<std::string, std::string>> headers;
  while (!block.empty()) {
    size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = trimmed(line.substr(0, colon));
    if (name.empty()) continue;
    headers.emplace_back(std::string(name), std::string(trimmed(line.substr(colon + 1))));
  }
  return headers;
}

std::string interceptionPatternFor(std::string_view prefix) {
  std::string pattern;
  for (char c : prefix) {
    if (c == '*' || c == '?' || c == '\\') pattern.push_back('\\');
    pattern.push_back(c);
  }
  pattern.push_back('*');
  return pattern;
}

}  // namespace tavrelle::chromium
