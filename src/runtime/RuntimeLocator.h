#pragma once

#include <memory>
#include <optional>
#include <string>

#include "runtime/BrowserVersions.h"
#include "runtime/EnvironmentRequest.h"
#include "runtime/HResult.h"
#include "runtime/LocatorPorts.h"
#include "runtime/PolicyStore.h"
#include "runtime/ReleaseChannels.h"
#include "runtime/RuntimeClient.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle::runtime {

// The host's loader of its web view runtime. It finds a runtime (a folder given by the
// caller, a developer override or an administrator policy, else the first usable
// install of the allowed release channels), checks its version, and then asks that
// runtime's client to create the environment.
class RuntimeLocator final : public webview::WebViewRuntime {
 public:
  RuntimeLocator(LocatorPorts ports, RuntimeClient& client,
                 std::string machinePolicyRoot = PolicyStore::kMachineRoot);
  RuntimeLocator(const RuntimeLocator&) = delete;
  RuntimeLocator& operator=(const RuntimeLocator&) = delete;
  ~RuntimeLocator() override;

  // Finds a runtime and starts creating its environment; kPointerMissing without a
  // handler. On success the handler is called later on the main thread; a failure
  // reported to it is tried once more before it reaches the caller.
  HResult CreateCoreWebView2EnvironmentWithOptions(
      const std::optional<std::string>& browserExecutableFolder,
      const std::optional<std::string>& userDataFolder,
      const std::optional<webview::EnvironmentOptions>& options,
      webview::EnvironmentCompletedHandler handler);

  // The version of the runtime that would be used ("120.0.2210.91 beta" for a beta
  // channel runtime); kPointerMissing without versionInfo. On failure versionInfo is
  // left empty.
  HResult GetAvailableCoreWebView2BrowserVersionString(
      const std::optional<std::string>& browserExecutableFolder,
      std::optional<std::string>* versionInfo);

  // The same two calls as the web view host makes them. A creation that fails at once
  // still reaches the handler, through the main loop, so the host never waits forever.
  [[nodiscard]] std::optional<std::string> GetAvailableBrowserVersionString(
      const std::optional<std::string>& browserExecutableFolder) override;
  void CreateEnvironmentWithOptions(const std::optional<std::string>& browserExecutableFolder,
                                    const std::string& userDataFolder,
                                    const webview::EnvironmentOptions& options,
                                    webview::EnvironmentCompletedHandler handler) override;

 private:
  struct Located;
  struct PendingCreation;

  [[nodiscard]] EnvironmentRequest buildRequest(
      const std::optional<std::string>& browserExecutableFolder,
      const std::optional<std::string>& userDataFolder,
      const std::optional<webview::EnvironmentOptions>& options);
  void applyDowngradePolicy(EnvironmentRequest& request, const PolicyStore& policies);
  [[nodiscard]] HResult locate(const EnvironmentRequest& request, Located& located);
  [[nodiscard]] HResult locateInFolder(const std::string& folder, Located& located);
  [[nodiscard]] HResult searchChannels(const EnvironmentRequest& request, Located& located);
  [[nodiscard]] bool probeInstall(const std::string& folder, Located& located);
  [[nodiscard]] HResult loadAndCreate(const std::shared_ptr<PendingCreation>& pending,
                                      const Located& located);
  [[nodiscard]] HResult attemptCreation(const std::shared_ptr<PendingCreation>& pending);
  void onCreationCompleted(const std::shared_ptr<PendingCreation>& pending,
                           const webview::CreationResult& result,
                           std::shared_ptr<webview::WebViewEnvironment> environment);
  [[nodiscard]] HResult versionAttempt(const std::optional<std::string>& browserExecutableFolder,
                                       std::string& version);

  [[nodiscard]] bool elevated();
  [[nodiscard]] BrowserVersions& versions();
  [[nodiscard]] std::string executableName() const;
  void debug(const std::string& text) const;
  void trace(const std::string& event);

  LocatorPorts ports_;
  RuntimeClient& client_;
  std::string machinePolicyRoot_;
  std::optional<bool> elevated_;
  bool policyRootFound_ = true;  // by the most recent policy check
  std::unique_ptr<BrowserVersions> versions_;
};

// The text a creation failure reaches the web view host with.
[[nodiscard]] std::string CreationFailureText(HResult result);

}  // namespace tavrelle::runtime
