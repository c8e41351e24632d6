#include "app/Startup.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "app/AppOrigin.h"
#include "app/CurrentWebViewHost.h"
#include "app/DefaultCaption.h"
#include "common/Dpi.h"
#include "app/MainWndProc.h"
#include "extensions/ExtensionManager.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

constexpr const char* kResourceType = "ZephyxData";
constexpr const char* kPackageJsonResource = "PackageJson";
constexpr const char* kAssetBundleResource = "AssetBundle";
constexpr const char* kPackageJsonFile = "package.json";
constexpr const char* kWebRoot = "www/";
constexpr const char* kExtensionSubfolder = "/zxext/";
constexpr const char* kFixedRuntimeFolder = "webview2";
constexpr const char* kWindowClass = "Tavrelle";

// Where a player without a runtime can get a Chromium-family browser.
constexpr const char* kRuntimeDownloadPage =
    "https://www.chromium.org/getting-involved/download-chromium/";

constexpr const char* kPackageLoadFailed =
    "Failed to load package.json. Check the file is in the same folder as the app.";
constexpr const char* kPackageParseFailed =
    "Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    "correct.";
constexpr const char* kNotBundledYet =
    "This app was exported for bundling in to a single file, but it has not been bundled yet. "
    "Run 'fusepack' first to bundle this app.";
constexpr const char* kBundleReadFailed = "Error reading asset bundle";
constexpr const char* kFixedRuntimeMissing =
    "This app is set to \"fixed\" distribution mode, but the Chromium web view failed to "
    "initialize. Check there is a valid fixed distribution of a Chromium-family browser in the "
    "\"webview2\" subfolder.";
constexpr const char* kRegisterClassFailed = "Failed to register window class";
constexpr const char* kCreateWindowFailed = "Failed to create window";

constexpr int kStartupFailedExitCode = 1;

// A start-up step that cannot go on: its message box, and optionally a page to open after it.
class StartupFailure : public std::runtime_error {
 public:
  explicit StartupFailure(const std::string& text, std::string caption = kDefaultCaption,
                          MessageBoxIcon icon = MessageBoxIcon::Error, std::string pageToOpen = {})
      : std::runtime_error(text),
        caption_(std::move(caption)),
        icon_(icon),
        pageToOpen_(std::move(pageToOpen)) {}

  [[nodiscard]] const std::string& caption() const { return caption_; }
  [[nodiscard]] MessageBoxIcon icon() const { return icon_; }
  [[nodiscard]] const std::string& pageToOpen() const { return pageToOpen_; }

 private:
  std::string caption_;
  MessageBoxIcon icon_;
  std::string pageToOpen_;
};

std::string WithForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace

std::string AppFolderOf(const std::string& executablePath) {
  const auto lastSlash = executablePath.rfind('/');
  return lastSlash == std::string::npos ? executablePath : executablePath.substr(0, lastSlash + 1);
}

std::string AppDataFolderFor(const std::string& localAppDataFolder, const std::string& name) {
  return localAppDataFolder + "/" + name;
}

std::string ExtensionFolderFor(bool fromResource, const std::string& appFolder,
                               const std::string& appDataFolder) {
  return fromResource ? appDataFolder + kExtensionSubfolder : appFolder;
}

uint32_t WindowStyleFor(const AppConfig& config) {
  if (!config.caption) {
    return window_style::kOverlapped;
  }
  if (config.resizable) {
    return window_style::kOverlappedWindow;
  }
  return window_style::kCaption | window_style::kSysMenu | window_style::kMinimizeBox;
}

std::string ContentOriginFor(const AppConfig& config) {
  return config.contentMode == ContentMode::Remote ? config.main : std::string(AppOrigin);
}

Startup::Startup(StartupPorts& ports) : ports_(ports) {}

Startup::~Startup() = default;

int Startup::run() {
  try {
    start();
  } catch (const StartupFailure& failure) {
    ports_.showMessageBox(failure.what(), failure.caption(), failure.icon());
    if (!failure.pageToOpen().empty()) {
      ports_.shellOpen(failure.pageToOpen());
    }
    return kStartupFailedExitCode;
  }
  const int exitCode = runMainLoop();
  shutDown();
  return exitCode;
}

void Startup::start() {
  appFolder_ = AppFolderOf(ports_.executablePath());
  readPackageText();
  parseConfig();
  requireBundledBuildToBeBundled();
  appDataFolder_ = AppDataFolderFor(ports_.localAppDataFolder(), config_.name);
  openBundle();
  loadIcon();
  checkRuntime();
  extensionFolder_ = ExtensionFolderFor(fromResource_, appFolder_, appDataFolder_);
  createExtensionManager();
  // The packed extension files are unpacked and the extension-manager library is loaded
  // here, once that library exists.
  connectWindowSystem();
  createMainWindow();
  // Here the library hears of the new window ("OnMainWindowCreated").
  createWebViewHost();
  SetCurrentWebViewHost(webViewHost_.get());
  webViewHost_->Init();
}

// The packed resource wins; the file beside the executable is then never opened.
void Startup::readPackageText() {
  if (const auto resource = ports_.loadResourceData(kResourceType, kPackageJsonResource)) {
    packageText_.assign(reinterpret_cast<const char*>(resource->data()), resource->size());
    fromResource_ = true;
  } else {
    packageText_ = ports_.readWholeFile(appFolder_ + kPackageJsonFile).value_or("");
    fromResource_ = false;
  }
  if (packageText_.empty()) {
    throw StartupFailure(kPackageLoadFailed);
  }
}

void Startup::parseConfig() {
  try {
    ParsePackageJson(packageText_, config_);
  } catch (const std::exception&) {
    throw StartupFailure(kPackageParseFailed);
  }
}

void Startup::requireBundledBuildToBeBundled() const {
  if (config_.bundleType == BundleType::SingleFile && !fromResource_) {
    throw StartupFailure(kNotBundledYet);
  }
}

void Startup::openBundle() {
  if (config_.bundleType == BundleType::None) {
    return;
  }
  if (fromResource_) {
    openBundleResource();
  } else {
    openBundleFile();
  }
}

// A bundle file that does not exist is no error: the files then come from the web root.
// An empty assetsPath names the app folder itself, which exists but cannot be mapped.
void Startup::openBundleFile() {
  const std::string path = appFolder_ + config_.assetsPath;
  if (!ports_.fileExists(path)) {
    return;
  }
  bundleFile_ = ports_.mapFile(path);
  if (!bundleFile_) {
    throw StartupFailure(kBundleReadFailed);
  }
  openBundleOver(bundleFile_->bytes());
}

void Startup::openBundleResource() {
  const auto resource = ports_.loadResourceData(kResourceType, kAssetBundleResource);
  if (!resource) {
    throw StartupFailure(kBundleReadFailed);
  }
  openBundleOver(*resource);
}

void Startup::openBundleOver(std::span<const std::byte> bytes) {
  try {
    bundle_.openMemory(bytes.data(), bytes.size());
  } catch (const std::exception&) {
    throw StartupFailure(kBundleReadFailed);
  }
}

// With a bundle open the icon comes from the bundle only; no icon leaves the window
// system's default.
void Startup::loadIcon() {
  if (config_.icon.empty()) {
    return;
  }
  const std::string name = WithForwardSlashes(config_.icon);
  if (!bundle_.isOpen()) {
    icon_ = ports_.decodeImageFile(appFolder_ + kWebRoot + name);
    return;
  }
  const BundleFileInfo entry = bundle_.lookup(name);
  if (entry.found) {
    icon_ = ports_.decodeImage({bundle_.dataPointer(entry.offset), entry.size});
  }
}

void Startup::checkRuntime() {
  if (config_.distributionMode == DistributionMode::Fixed) {
    browserFolder_ = kFixedRuntimeFolder;
    if (!ports_.runtime.GetAvailableBrowserVersionString(browserFolder_)) {
      throw StartupFailure(kFixedRuntimeMissing, config_.title, MessageBoxIcon::Error);
    }
    return;
  }
  if (!ports_.runtime.GetAvailableBrowserVersionString(std::nullopt)) {
    throw StartupFailure(config_.installWebView2RequiredMessage, config_.title,
                         MessageBoxIcon::Warning, kRuntimeDownloadPage);
  }
}

void Startup::createExtensionManager() {
  extensionManager_ = std::make_unique<ExtensionManager>(
      ExtensionFolders{appFolder_, kWebRoot, appDataFolder_, extensionFolder_}, packageText_);
}

void Startup::connectWindowSystem() {
  windowSystem_ = ports_.connectWindowSystem();
  if (windowSystem_ == nullptr) {
    throw StartupFailure(kRegisterClassFailed);
  }
  WindowSystem* windowSystem = windowSystem_;
  SetScreenDpiSource([windowSystem] { return windowSystem->screenDpi(); });
}

// Created hidden; the first loaded document shows it.
void Startup::createMainWindow() {
  MainWindowParams params;
  params.className = kWindowClass;
  params.title = config_.title;
  params.style = WindowStyleFor(config_);
  const Rect client{0, 0, ScaleForDpi(config_.width), ScaleForDpi(config_.height)};
  const Rect outer = windowSystem_->adjustWindowRect(client, params.style);
  params.outerWidth = outer.width();
  params.outerHeight = outer.height();
  params.icon = icon_;
  params.background = config_.backgroundColor;
  EventLoop& loop = ports_.loop;
  window_ = windowSystem_->createMainWindow(
      params, [&loop](const WindowEvent& event) { return MainWndProc(event, loop); });
  if (!window_) {
    throw StartupFailure(kCreateWindowFailed);
  }
}

void Startup::createWebViewHost() {
  WebViewHostSetup setup;
  setup.config = &config_;
  setup.bundle = &bundle_;
  setup.bundleFile = bundleFile_;
  setup.extensionManager = extensionManager_.get();
  setup.window = window_.get();
  setup.appFolder = appFolder_;
  setup.webRoot = kWebRoot;
  setup.userDataFolder = appDataFolder_;
  setup.contentOrigin = ContentOriginFor(config_);
  setup.browserExecutableFolder = browserFolder_;

  WebViewHostPorts hostPorts;
  hostPorts.shellOpen = ports_.shellOpen;
  hostPorts.setEnvironmentVariable = ports_.setEnvironmentVariable;
  hostPorts.showMessageBox = ports_.showMessageBox;
  EventLoop& loop = ports_.loop;
  hostPorts.endMainLoop = [&loop](int exitCode) { loop.quit(exitCode); };

  webViewHost_ =
      std::make_unique<ZephyxWebView>(std::move(setup), ports_.runtime, std::move(hostPorts));
  extensionManager_->attachWebViewHost(webViewHost_.get());
}

int Startup::runMainLoop() { return ports_.loop.run(); }

// Response bodies already handed out keep their own mappings; the bundle's memory goes
// only after the extension manager, and the web view host last.
void Startup::shutDown() {
  webViewHost_->ReleaseMappedFiles();
  SetCurrentWebViewHost(nullptr);
  // The extension-manager library's "Release" and its unloading belong here.
  extensionManager_.reset();
  bundle_.close();
  bundleFile_.reset();
  webViewHost_.reset();
}

}  // namespace tavrelle
