#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "webview/WebViewRuntime.h"

namespace tavrelle::chromium {

// The browser's permission descriptors behind one kind the host is asked about. Empty
// for kinds the browser does not gate by permission here (autoplay is allowed at
// launch; downloads and file access have no descriptor).
std::vector<nlohmann::json> permissionDescriptorsFor(webview::PermissionKind kind);

// The kinds the host is asked about, in a fixed order.
const std::vector<webview::PermissionKind>& askablePermissionKinds();

// Permissions a game needs that the host is never asked about: granted silently, as
// the original runtime does (pointer and keyboard lock, fullscreen, wake lock, storage,
// and the loopback access the large-body side channel relies on).
std::vector<nlohmann::json> silentlyGrantedPermissions();

// The response header line that keeps the permissions granted to a document's origin
// from being delegated to frames of other origins (an ad frame with allow="camera"
// would otherwise use the game's camera grant).
const char* permissionDelegationLimit();

// The header block with the delegation limit added, unless it already sets a policy of
// its own (a game that delegates on purpose keeps its choice).
std::string withPermissionDelegationLimit(const std::string& headerBlock);

}  // namespace tavrelle::chromium
