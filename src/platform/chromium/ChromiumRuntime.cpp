#include "platform/chromium/ChromiumRuntime.h"

#include <unistd.h>

#include <cerrno>

#include "platform/chromium/ChromiumEnvironment.h"
#include "platform/IoEventLoop.h"

namespace tavrelle::chromium {

ChromiumRuntime::ChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options)
    : loop_(loop), options_(options) {}

runtime::HResult ChromiumRuntime::Load(const std::string& clientPath) {
  if (access(clientPath.c_str(), X_OK) == 0) return runtime::kOk;
  switch (errno) {
    case ENOENT:
    case ENOTDIR:
      return runtime::kModuleNotFound;
    case EACCES:
    case EPERM:
      return runtime::HResultFromError(runtime::kErrorAccessDenied);
    default:
      return runtime::HResultFromError(runtime::kErrorBadExeFormat);
  }
}

bool ChromiumRuntime::OffersEnvironmentCreation(const std::string& /*clientPath*/) const {
  return true;
}

runtime::HResult ChromiumRuntime::CreateEnvironment(
    const runtime::ClientEnvironmentRequest& request,
    webview::EnvironmentCompletedHandler handler) {
  ChromiumEnvironment::Settings settings;
  settings.executable = request.clientPath;
  settings.version = request.version;
  settings.userDataFolder = request.userDataFolder.value_or("");
  settings.additionalBrowserArguments = request.options.additionalBrowserArguments;
  settings.headless = options_.headless;
  settings.embedder = options_.embedder;
  auto environment = std::make_shared<ChromiumEnvironment>(loop_, std::move(settings));
  loop_.post([handler = std::move(handler), environment] {
    handler(webview::CreationResult{true, {}}, environment);
  });
  return runtime::kOk;
}

}  // namespace tavrelle::chromium
