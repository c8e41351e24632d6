#pragma once

#include <string>

namespace tavrelle {

class ZephyxWebView;

// The path the web view host registered for a folder placeholder such as
// "<documents>"; nullptr when it has none (or no table yet). The text lives as long
// as that entry.
[[nodiscard]] const std::string* FindHostFolder(const ZephyxWebView& host, const std::string& name);

}  // namespace tavrelle
