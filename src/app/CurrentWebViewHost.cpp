#include "app/CurrentWebViewHost.h"

namespace tavrelle {

namespace {
ZephyxWebView* currentHost = nullptr;
}  // namespace

ZephyxWebView* CurrentWebViewHost() { return currentHost; }

void SetCurrentWebViewHost(ZephyxWebView* host) { currentHost = host; }

}  // namespace tavrelle
