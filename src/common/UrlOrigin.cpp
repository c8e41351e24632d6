#include "common/UrlOrigin.h"

#include <cctype>

namespace tavrelle {

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view defaultPort(std::string_view scheme) {
  if (scheme == "http" || scheme == "ws") return "80";
  if (scheme == "https" || scheme == "wss") return "443";
  return {};
}

}  // namespace

std::string urlOrigin(std::string_view url) {
  size_t schemeEnd = url.find("://");
  if (schemeEnd == std::string_view::npos || schemeEnd == 0) return {};
  std::string scheme = lowered(url.substr(0, schemeEnd));
  for (char c : scheme) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') return {};
  }
  std::string_view rest = url.substr(schemeEnd + 3);
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  if (size_t at = authority.rfind('@'); at != std::string_view::npos) {
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  std::string_view port;
  size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return {};
  std::string origin = scheme;
  origin.append("://").append(lowered(host));
  if (!port.empty() && port != defaultPort(scheme)) origin.append(":").append(port);
  return origin;
}

}  // namespace tavrelle

namespace tavrelle {

namespace {

bool isBareOrigin(std::string_view address) {
  size_t schemeEnd = address.find("://");
  if (schemeEnd == std::string_view::npos) return false;
  return address.find_first_of("/?#", schemeEnd + 3) == std::string_view::npos &&
         !urlOrigin(address).empty();
}

}  // namespace

bool IsAcceptedSourceFor(std::string_view contentOrigin, std::string_view source) {
  if (isBareOrigin(contentOrigin)) {
    std::string origin = urlOrigin(source);
    return !origin.empty() && origin == urlOrigin(contentOrigin);
  }
  return source.starts_with(contentOrigin);
}

}  // namespace tavrelle
