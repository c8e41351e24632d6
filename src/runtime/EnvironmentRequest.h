#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "webview/WebViewRuntime.h"

namespace tavrelle::runtime {

// One call's wishes, after the developer's overrides and the administrator's policies
// were applied. Built fresh for each call; the creation's retry keeps its own copy.
struct EnvironmentRequest {
  std::optional<std::string> browserExecutableFolder;
  std::optional<std::string> downgradeFolder;  // wins over browserExecutableFolder
  std::optional<std::string> userDataFolder;
  std::optional<webview::EnvironmentOptions> options;
  bool leastStableFirst = false;
  bool useEdgeView = false;
  bool releaseChannelsSet = false;
  bool searchKindSet = false;
  uint32_t releaseChannels = 0;
};

}  // namespace tavrelle::runtime
