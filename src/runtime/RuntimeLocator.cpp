#include "runtime/RuntimeLocator.h"

#include <utility>
#include <variant>

#include "runtime/DowngradeVersionPolicy.h"
#include "runtime/LocatorTelemetry.h"
#include "runtime/OverrideReader.h"
#include "runtime/RuntimeFolder.h"
#include "runtime/RuntimeVersion.h"

namespace tavrelle::runtime {

namespace {

using Setting = OverrideReader::Setting;

constexpr Setting kBrowserFolderSetting{"WEBVIEW2_BROWSER_EXECUTABLE_FOLDER",
                                        "BrowserExecutableFolder", true, true};
constexpr Setting kUserDataFolderSetting{"WEBVIEW2_USER_DATA_FOLDER", "UserDataFolder", false,
                                         false};
constexpr Setting kSearchKindSetting{"WEBVIEW2_CHANNEL_SEARCH_KIND", "ChannelSearchKind", true,
                                     false};
constexpr Setting kPreferenceSetting{"WEBVIEW2_RELEASE_CHANNEL_PREFERENCE",
                                     "ReleaseChannelPreference", true, false};
constexpr const char* kReleaseChannelsVariable = "WEBVIEW2_RELEASE_CHANNELS";
constexpr const char* kReleaseChannelsPolicy = "ReleaseChannels";
constexpr const char* kUseEdgeViewVariable = "WEBVIEW2_USE_EDGE_VIEW";
constexpr const char* kTraceVariable = "TAVRELLE_LOCATOR_TRACE";

constexpr const char* kExePathMissing = "WebView2: Failed to find the app exe path.\n";
constexpr const char* kClientMissing = "WebView2: Failed to find the WebView2 client dll at: ";
constexpr const char* kNoInstalledRuntime =
    "WebView2: Failed to find an installed WebView2 runtime or non-stable Microsoft Edge "
    "installation.\n";
constexpr const char* kSkippedIncompatible = "WebView2: skipped an incompatible version ";
constexpr const char* kSkippedInaccessible = "WebView2: skipped inaccessible ";
constexpr const char* kLoadFailed =
    "WebView2: CoreWebView2Environment failed when trying to LoadLibrary: hr=0x";
constexpr const char* kModuleNotFoundHint =
    "\nWebView2: This error (0x8007007E) typically indicates missing binaries or an "
    "architecture mismatch.";
constexpr const char* kCallIntoFailed =
    "WebView2: CoreWebView2Environment failed when trying to call into ";
constexpr const char* kDowngradeApplied =
    "WebView2: DowngradeVersion policy applied (exact match), redirecting to ";
constexpr const char* kDowngradeResolved = "WebView2: DowngradeVersion policy resolved\n";

constexpr int kCompletionRetries = 1;

bool IsAbsolute(const std::string& path) { return !path.empty() && path.front() == '/'; }

}  // namespace

struct RuntimeLocator::Located {
  RuntimeKind kind = RuntimeKind::Installed;
  bool inFolder = false;     // given by the caller, an override or a policy
  bool clientFound = false;  // the browser executable was located
  std::string folder;
  std::string clientPath;
  std::string version;  // known for installs; asked for in folders when needed
  std::string_view suffix;
};

struct RuntimeLocator::PendingCreation {
  EnvironmentRequest request;
  webview::EnvironmentCompletedHandler callerHandler;
  int retriesLeft = kCompletionRetries;
};

RuntimeLocator::RuntimeLocator(LocatorPorts ports, RuntimeClient& client,
                               std::string machinePolicyRoot)
    : ports_(std::move(ports)), client_(client), machinePolicyRoot_(std::move(machinePolicyRoot)) {}

RuntimeLocator::~RuntimeLocator() = default;

// ----- One-time answers and output -----

bool RuntimeLocator::elevated() {
  if (!elevated_) elevated_ = ports_.isElevated();
  return *elevated_;
}

BrowserVersions& RuntimeLocator::versions() {
  if (!versions_) {
    // An elevated process must not read or write files named by the environment: it
    // keeps its answers in the machine's cache instead.
    auto cacheFile = elevated() ? std::optional<std::string>(kMachineVersionCacheFile)
                                : BrowserVersionCacheFile(*ports_.environment);
    versions_ =
        std::make_unique<BrowserVersions>(*ports_.files, *ports_.processes, std::move(cacheFile));
  }
  return *versions_;
}

std::string RuntimeLocator::executableName() const {
  auto path = ports_.environment->executablePath();
  if (const auto* text = std::get_if<std::string>(&path)) {
    return std::string(LastComponentOf(*text));
  }
  return {};
}

void RuntimeLocator::debug(const std::string& text) const { ports_.debugOutput(text); }

void RuntimeLocator::trace(const std::string& event) {
  if (elevated() || !ports_.environment->variable(kTraceVariable)) return;
  ports_.traceOutput(event);
}

// ----- The request -----

EnvironmentRequest RuntimeLocator::buildRequest(
    const std::optional<std::string>& browserExecutableFolder,
    const std::optional<std::string>& userDataFolder,
    const std::optional<webview::EnvironmentOptions>& options) {
  EnvironmentRequest request;
  request.browserExecutableFolder = browserExecutableFolder;
  request.userDataFolder = userDataFolder;
  request.options = options;
  request.useEdgeView = options && options->useEdgeView;

  const LocatorEnvironment& environment = *ports_.environment;
  const PolicyStore policies(*ports_.files, machinePolicyRoot_,
                             elevated() ? std::nullopt : UserPolicyRoot(environment));
  OverrideReader reader(environment, policies, elevated(), executableName(), policyRootFound_);

  if (auto folder = reader.readString(kBrowserFolderSetting)) {
    request.browserExecutableFolder = std::move(folder);
  }
  applyDowngradePolicy(request, policies);
  if (auto folder = reader.readString(kUserDataFolderSetting)) {
    request.userDataFolder = std::move(folder);
  }
  if (!elevated()) {
    if (auto edgeView = environment.variable(kUseEdgeViewVariable)) {
      request.useEdgeView = *edgeView == "1";
    }
  }
  const Setting channelsSetting{kReleaseChannelsVariable, kReleaseChannelsPolicy,
                                !request.useEdgeView, false};
  if (auto mask = reader.readChannelList(channelsSetting)) {
    request.releaseChannels = *mask;
    request.releaseChannelsSet = true;
  }
  auto leastStableFirst = reader.readFlag(kSearchKindSetting);
  if (!leastStableFirst) leastStableFirst = reader.readFlag(kPreferenceSetting);
  if (leastStableFirst) {
    request.leastStableFirst = *leastStableFirst;
    request.searchKindSet = true;
  }

  // The caller's options count only where no override or policy spoke.
  if (options && !(request.searchKindSet && request.releaseChannelsSet)) {
    if (!request.searchKindSet && options->channelSearchKind == 1) request.leastStableFirst = true;
    if (!request.releaseChannelsSet && options->releaseChannels != 0) {
      request.releaseChannels = options->releaseChannels;
      request.releaseChannelsSet = true;
    }
  }
  return request;
}

void RuntimeLocator::applyDowngradePolicy(EnvironmentRequest& request,
                                          const PolicyStore& policies) {
  auto outcome = ResolveDowngradeVersion(policies, *ports_.files, executableName());
  if (!outcome) return;
  if (outcome->folder) debug(kDowngradeApplied + *outcome->folder + "\n");
  trace(
      DowngradeVersionPolicyEvent(outcome->message, outcome->detail, outcome->folder.has_value()));
  if (outcome->folder) {
    request.downgradeFolder = outcome->folder;
    debug(kDowngradeResolved);
  }
}

// ----- Locating -----

HResult RuntimeLocator::locate(const EnvironmentRequest& request, Located& located) {
  const auto& folder =
      request.downgradeFolder ? request.downgradeFolder : request.browserExecutableFolder;
  if (folder && !folder->empty()) {
    located.kind = request.useEdgeView ? RuntimeKind::EdgeView : RuntimeKind::Folder;
    located.inFolder = true;
    return locateInFolder(*folder, located);
  }
  located.kind = request.useEdgeView ? RuntimeKind::EdgeView : RuntimeKind::Installed;
  return searchChannels(request, located);
}

HResult RuntimeLocator::locateInFolder(const std::string& folder, Located& located) {
  std::string resolved = folder;
  if (!IsAbsolute(folder)) {
    auto executablePath = ports_.environment->executablePath();
    if (const auto* error = std::get_if<HResult>(&executablePath)) {
      debug(kExePathMissing);
      return *error;
    }
    const auto& path = std::get<std::string>(executablePath);
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return kFailed;
    resolved = path.substr(0, slash + 1) + folder;
  }
  const ClientCheck check = CheckClient(*ports_.files, resolved);
  if (check.outcome == ClientCheck::Outcome::Inaccessible) {
    debug(kSkippedInaccessible + check.candidate + "\n");
  }
  if (!check.usable()) {
    debug(kClientMissing + check.candidate + "\n");
    return kFileNotFound;
  }
  located.folder = resolved;
  located.clientPath = check.candidate;
  located.clientFound = true;
  return kOk;
}

// Browsers packaged as Flatpak or Snap are not searched: their sandbox launchers do not
// hand the DevTools pipe (descriptors 3 and 4) through to the browser, so the host
// could not drive them.
HResult RuntimeLocator::searchChannels(const EnvironmentRequest& request, Located& located) {
  for (ReleaseChannel channel : ChannelSearchOrder(
           request.releaseChannelsSet, request.releaseChannels, request.leastStableFirst)) {
    for (auto location : InstallLocationsOf(channel, request.useEdgeView)) {
      if (probeInstall(std::string(location), located)) {
        located.suffix = NameSuffixOf(channel);
        return kOk;
      }
    }
  }
  debug(kNoInstalledRuntime);
  return kFileNotFound;
}

bool RuntimeLocator::probeInstall(const std::string& folder, Located& located) {
  if (ports_.files->kindOf(folder) != FileKind::Directory) return false;
  const ClientCheck check = CheckClient(*ports_.files, folder);
  if (check.outcome == ClientCheck::Outcome::Missing) return false;
  // An executable we may not run can still be judged by its folder's name.
  auto version = check.usable() ? versions().versionOf(folder, check.candidate)
                                : versions().knownVersionOf(folder, check.candidate);
  if (!version && check.usable()) return false;  // no version: not a runtime
  if (version) {
    auto parsed = ParseRuntimeVersion(*version);
    if (!parsed || !IsCompatibleRuntimeVersion(*parsed)) {
      debug(kSkippedIncompatible + folder + "\n");
      return false;
    }
  }
  if (!check.usable()) {
    debug(kSkippedInaccessible + check.candidate + "\n");
    return false;
  }
  located.folder = folder;
  located.clientPath = check.candidate;
  located.version = *version;
  located.clientFound = true;
  return true;
}

// ----- Creating -----

HResult RuntimeLocator::loadAndCreate(const std::shared_ptr<PendingCreation>& pending,
                                      const Located& located) {
  const HResult loaded = client_.Load(located.clientPath);
  if (Failed(loaded)) {
    std::string text = kLoadFailed + HexOf(loaded) + " path=" + located.clientPath;
    if (loaded == kModuleNotFound) text += kModuleNotFoundHint;
    debug(text + "\n");
    return loaded;
  }
  if (!client_.OffersEnvironmentCreation(located.clientPath)) {
    const HResult missing = HResultFromError(kErrorProcNotFound);
    debug(kCallIntoFailed + std::string(LastComponentOf(located.clientPath)) + ". hr=0x" +
          HexOf(missing) + "\n");
    return missing;
  }
  ClientEnvironmentRequest request;
  request.kind = located.kind;
  request.clientPath = located.clientPath;
  request.version = located.version;
  if (request.version.empty()) {
    request.version = versions().versionOf(located.folder, located.clientPath).value_or("");
  }
  request.userDataFolder = pending->request.userDataFolder;
  request.options = pending->request.options.value_or(webview::EnvironmentOptions{});
  return client_.CreateEnvironment(
      request, [this, pending](const webview::CreationResult& result,
                               std::shared_ptr<webview::WebViewEnvironment> environment) {
        onCreationCompleted(pending, result, std::move(environment));
      });
}

HResult RuntimeLocator::attemptCreation(const std::shared_ptr<PendingCreation>& pending) {
  Located located;
  HResult result = locate(pending->request, located);
  if (Succeeded(result)) result = loadAndCreate(pending, located);
  if (Failed(result) && !pending->request.useEdgeView) {
    trace(
        EnvironmentErrorEvent(result, located.clientFound, located.kind == RuntimeKind::Installed));
  }
  return result;
}

void RuntimeLocator::onCreationCompleted(const std::shared_ptr<PendingCreation>& pending,
                                         const webview::CreationResult& result,
                                         std::shared_ptr<webview::WebViewEnvironment> environment) {
  if (!result.succeeded && pending->retriesLeft > 0) {
    --pending->retriesLeft;
    const HResult retried = attemptCreation(pending);
    if (Succeeded(retried)) return;  // this handler hears the outcome again
    pending->callerHandler(webview::CreationResult{false, CreationFailureText(retried)}, nullptr);
    return;
  }
  pending->callerHandler(result, std::move(environment));
}

HResult RuntimeLocator::CreateCoreWebView2EnvironmentWithOptions(
    const std::optional<std::string>& browserExecutableFolder,
    const std::optional<std::string>& userDataFolder,
    const std::optional<webview::EnvironmentOptions>& options,
    webview::EnvironmentCompletedHandler handler) {
  if (!handler) return kPointerMissing;
  auto pending = std::make_shared<PendingCreation>();
  pending->request = buildRequest(browserExecutableFolder, userDataFolder, options);
  pending->callerHandler = std::move(handler);
  HResult result = attemptCreation(pending);
  if (Failed(result)) result = attemptCreation(pending);
  return result;
}

void RuntimeLocator::CreateEnvironmentWithOptions(
    const std::optional<std::string>& browserExecutableFolder, const std::string& userDataFolder,
    const webview::EnvironmentOptions& options, webview::EnvironmentCompletedHandler handler) {
  const HResult result = CreateCoreWebView2EnvironmentWithOptions(browserExecutableFolder,
                                                                  userDataFolder, options, handler);
  if (Failed(result) && handler) {
    ports_.post([handler, result] {
      handler(webview::CreationResult{false, CreationFailureText(result)}, nullptr);
    });
  }
}

// ----- The version -----

HResult RuntimeLocator::versionAttempt(const std::optional<std::string>& browserExecutableFolder,
                                       std::string& version) {
  const EnvironmentRequest request =
      buildRequest(browserExecutableFolder, std::nullopt, std::nullopt);
  Located located;
  const HResult result = locate(request, located);
  if (Failed(result)) return result;
  if (located.inFolder) {
    auto reported = versions().versionOf(located.folder, located.clientPath);
    if (!reported) return kNotSupported;
    version = *reported;
    return kOk;
  }
  version = located.version;
  if (!located.suffix.empty()) version += " " + std::string(located.suffix);
  return kOk;
}

HResult RuntimeLocator::GetAvailableCoreWebView2BrowserVersionString(
    const std::optional<std::string>& browserExecutableFolder,
    std::optional<std::string>* versionInfo) {
  if (versionInfo == nullptr) return kPointerMissing;
  versionInfo->reset();
  std::string version;
  HResult result = versionAttempt(browserExecutableFolder, version);
  if (Failed(result)) result = versionAttempt(browserExecutableFolder, version);
  if (Succeeded(result)) *versionInfo = std::move(version);
  return result;
}

std::optional<std::string> RuntimeLocator::GetAvailableBrowserVersionString(
    const std::optional<std::string>& browserExecutableFolder) {
  std::optional<std::string> version;
  (void)GetAvailableCoreWebView2BrowserVersionString(browserExecutableFolder, &version);
  return version;
}

std::string CreationFailureText(HResult result) {
  if (result == kFileNotFound) return "no usable browser was found (0x" + HexOf(result) + ")";
  return "the browser could not be started (0x" + HexOf(result) + ")";
}

}  // namespace tavrelle::runtime
