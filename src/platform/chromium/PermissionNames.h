#pragma once

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

}  // namespace tavrelle::chromium
