#pragma once

// The client side of a located runtime: what the locator calls once it has found the
// runtime's browser executable. The Chromium adapter implements it.

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/HResult.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::runtime {

enum class RuntimeKind : uint8_t {
  Installed = 0,  // found by the channel search
  Folder = 1,     // in a folder given by the caller, an override or a policy
  EdgeView = 2,   // Microsoft Edge itself, in Edge-view mode
};

struct ClientEnvironmentRequest {
  RuntimeKind kind = RuntimeKind::Installed;
  std::string clientPath;  // the browser executable
  std::string version;     // the runtime's version when known, else empty
  std::optional<std::string> userDataFolder;
  webview::EnvironmentOptions options;
};

class RuntimeClient {
 public:
  virtual ~RuntimeClient() = default;
  // Makes the client at clientPath ready to use; kOk, or the reason it cannot be used.
  virtual HResult Load(const std::string& clientPath) = 0;
  // Whether the loaded client offers environment creation at all.
  [[nodiscard]] virtual bool OffersEnvironmentCreation(const std::string& clientPath) const = 0;
  // Starts creating an environment. On success the handler is called later, once, on the
  // main thread; on failure it is not called.
  virtual HResult CreateEnvironment(const ClientEnvironmentRequest& request,
                                    webview::EnvironmentCompletedHandler handler) = 0;
};

}  // namespace tavrelle::runtime
