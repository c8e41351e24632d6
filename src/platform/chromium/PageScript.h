#pragma once

#include <cstddef>
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

// The largest page message, in UTF-8 bytes: the page script refuses a larger one with
// an exception, before anything crosses to the host.
inline constexpr size_t kPageMessageCeiling = size_t{64} << 20;

// The global function, fixed like the dispatcher, that delivers the host's replies to
// the calls of the page's folder handles.
inline constexpr const char* kFileSystemReplyName = "__tavrelleDeliverFileSystemReply";
// The global function, fixed like the dispatcher, that gives the host a new file input
// element: the host puts a file the page may read into it and hands it over with the
// reply.
inline constexpr const char* kFileInputMakerName = "__tavrelleNewFileInput";

// The source evaluated in every new document: the page API with its settings applied.
// reportKey: the secret that begins every report of the script (see PageSessions).
// messageSocket: where the top document opens its message socket; empty for none.
std::string pageScriptSource(const PageScriptConfig& config, const std::string& reportKey,
                             const std::string& messageSocket);

}  // namespace tavrelle::chromium
