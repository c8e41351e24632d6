#pragma once

#include <string>

namespace tavrelle::chromium {

// What the page script enforces in each document, from the web view's settings.
struct PageScriptConfig {
  bool webMessages = true;
  bool devTools = true;
  bool browserKeys = true;
  bool zoomControl = true;
  bool pinchZoom = true;
  bool contextMenus = true;
  friend bool operator==(const PageScriptConfig&, const PageScriptConfig&) = default;
};

// The binding through which the page script reports to the host. The script takes it
// off the global object before any page script runs.
inline constexpr const char* kPageBindingName = "__tavrelleHostBinding";
// The global function, fixed and not replaceable by the page, that delivers the host's
// messages to chrome.webview's listeners.
inline constexpr const char* kPageDispatcherName = "__tavrelleDeliverHostMessage";

// The global function, fixed like the dispatcher, that delivers the host's replies to
// the calls of the page's folder handles.
inline constexpr const char* kFileSystemReplyName = "__tavrelleDeliverFileSystemReply";

// The source evaluated in every new document: the page API with its settings applied.
std::string pageScriptSource(const PageScriptConfig& config);

}  // namespace tavrelle::chromium
