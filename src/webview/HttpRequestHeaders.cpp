#include <algorithm>

#include "webview/WebViewRuntime.h"

namespace tavrelle::webview {
namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

bool HttpRequestHeaders::Contains(const std::string& name) const {
  return std::any_of(headers_.begin(), headers_.end(), [&](const auto& header) {
    return EqualsIgnoringAsciiCase(header.first, name);
  });
}

std::string HttpRequestHeaders::GetHeader(const std::string& name) const {
  for (const auto& [key, value] : headers_) {
    if (EqualsIgnoringAsciiCase(key, name)) return value;
  }
  return {};
}

}  // namespace tavrelle::webview
