#pragma once

#include <string>
#include <string_view>

namespace tavrelle::chromium {

// The origin of an absolute URL as the browser writes it: "scheme://host[:port]",
// scheme and host in lower case, the scheme's default port left out. Empty for URLs
// without an authority (about:, data:, blob: ...).
std::string urlOrigin(std::string_view url);

}  // namespace tavrelle::chromium
