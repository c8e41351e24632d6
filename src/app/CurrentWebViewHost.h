#pragma once

namespace tavrelle {

class ZephyxWebView;

// The one web view host of the process, as the window procedure reaches it: set just
// before the host starts creating its web view, cleared as soon as the main loop ends.
// Main thread only.
[[nodiscard]] ZephyxWebView* CurrentWebViewHost();
void SetCurrentWebViewHost(ZephyxWebView* host);

}  // namespace tavrelle
