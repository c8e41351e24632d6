#pragma once

#include <string>
#include <string_view>

namespace tavrelle {

// The origin of an absolute URL as the browser writes it: "scheme://host[:port]",
// scheme and host in lower case, the scheme's default port left out. Empty for URLs
// without an authority (about:, data:, blob: ...).
std::string urlOrigin(std::string_view url);

}  // namespace tavrelle

namespace tavrelle {

// Whether a page address passes the host's source check against `contentOrigin`.
// A bare origin ("https://game.example.com", no path at all) must match the
// address's origin exactly: scheme, host and port, so that neither
// "https://game.example.com.evil.net/" nor "https://game.example.com:8443/" pass.
// Anything longer, the app origin with its "/" included, is a byte-exact prefix.
[[nodiscard]] bool IsAcceptedSourceFor(std::string_view contentOrigin, std::string_view source);

}  // namespace tavrelle
