#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace tavrelle::chromium {

// The product version a browser executable reports ("156.0.8078.129"), by running it
// with --product-version. Costs one process start: about 30 ms for the browser binary,
// about 280 ms through Debian's /usr/bin/chromium wrapper script.
std::optional<std::string> probeBrowserVersion(const std::string& executable,
                                               std::chrono::milliseconds timeout);

// Whether text looks like a dotted version number: digits and dots, starting with a digit.
bool isVersionText(const std::string& text);

}  // namespace tavrelle::chromium
