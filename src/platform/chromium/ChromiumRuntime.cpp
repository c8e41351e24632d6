#include "platform/chromium/ChromiumRuntime.h"

#include "platform/chromium/BrowserVersionProbe.h"
#include "platform/chromium/ChromiumEnvironment.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/PosixExecutableLookup.h"
#include "platform/IoEventLoop.h"
#include "runtime/RuntimeLocator.h"

namespace tavrelle::chromium {

namespace {

constexpr auto kVersionProbeTimeout = std::chrono::seconds(10);

}  // namespace

ChromiumRuntime::ChromiumRuntime(IoEventLoop& loop, ChromiumRuntimeOptions options)
    : loop_(loop), options_(std::move(options)) {}

std::optional<ChromiumRuntime::Located> ChromiumRuntime::locate(
    const std::optional<std::string>& browserExecutableFolder) {
  PosixExecutableLookup lookup;
  auto executable =
      runtime::locateBrowserExecutable(browserExecutableFolder, options_.appFolder, lookup);
  if (!executable) return std::nullopt;
  auto known = versions_.find(*executable);
  if (known == versions_.end()) {
    auto version =
        probeBrowserVersion(quirks::versionProbeExecutable(*executable), kVersionProbeTimeout);
    if (!version) return std::nullopt;  // not a browser that answers: not usable
    known = versions_.emplace(*executable, *version).first;
  }
  return Located{*executable, known->second};
}

std::optional<std::string> ChromiumRuntime::GetAvailableBrowserVersionString(
    const std::optional<std::string>& browserExecutableFolder) {
  auto located = locate(browserExecutableFolder);
  if (!located) return std::nullopt;
  return located->version;
}

void ChromiumRuntime::CreateEnvironmentWithOptions(
    const std::optional<std::string>& browserExecutableFolder, const std::string& userDataFolder,
    const webview::EnvironmentOptions& options, webview::EnvironmentCompletedHandler handler) {
  auto located = locate(browserExecutableFolder);
  if (!located) {
    loop_.post([handler] {
      handler(webview::CreationResult{false, "no Chromium-family browser was found"}, nullptr);
    });
    return;
  }
  ChromiumEnvironment::Settings settings;
  settings.executable = located->executable;
  settings.version = located->version;
  settings.userDataFolder = userDataFolder;
  settings.additionalBrowserArguments = options.additionalBrowserArguments;
  settings.headless = options_.headless;
  settings.embedder = options_.embedder;
  auto environment = std::make_shared<ChromiumEnvironment>(loop_, std::move(settings));
  loop_.post([handler, environment] { handler(webview::CreationResult{true, {}}, environment); });
}

}  // namespace tavrelle::chromium
