#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "app/AppConfig.h"
#include "content/BundleArchive.h"
#include "platform/Dialogs.h"
#include "platform/EventLoop.h"
#include "platform/Files.h"
#include "platform/MainWindow.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

class ExtensionManager;
class ZephyxWebView;

// The platform services start-up uses. main() wires the real ones; tests use fakes.
struct StartupPorts {
  StartupPorts(webview::WebViewRuntime& webViewRuntime, EventLoop& mainLoop)
      : runtime(webViewRuntime), loop(mainLoop) {}

  webview::WebViewRuntime& runtime;
  EventLoop& loop;
  std::function<std::string()> executablePath;
  std::function<std::optional<std::span<const std::byte>>(const std::string& type,
                                                          const std::string& name)>
      loadResourceData;
  std::function<std::optional<std::string>(const std::string& path)> readWholeFile;
  std::function<bool(const std::string& path)> fileExists;
  std::function<std::shared_ptr<const MappedFile>(const std::string& path)> mapFile;
  std::function<std::string()> localAppDataFolder;
  ShowMessageBoxPort showMessageBox;
  std::function<void(const std::string& target)> shellOpen;
  std::function<void(const std::string& name, const std::string& value)> setEnvironmentVariable;
  std::function<std::optional<Image>(std::span<const std::byte> bytes)> decodeImage;
  std::function<std::optional<Image>(const std::string& path)> decodeImageFile;
  // Connects to the display; nullptr when it cannot. The window system stays owned by
  // the caller and must outlive the run.
  std::function<WindowSystem*()> connectWindowSystem;
};

// The decisions of start-up, each on its own.

// The executable's folder with its trailing "/" (the whole path when it has no "/").
[[nodiscard]] std::string AppFolderOf(const std::string& executablePath);
// The per-user folder of this app: "<local app data>/<name>", "/<name>" when unknown.
[[nodiscard]] std::string AppDataFolderFor(const std::string& localAppDataFolder,
                                           const std::string& name);
// Where extension files live: unpacked under the app data folder in a single-file build.
[[nodiscard]] std::string ExtensionFolderFor(bool fromResource, const std::string& appFolder,
                                             const std::string& appDataFolder);
[[nodiscard]] uint32_t WindowStyleFor(const AppConfig& config);
[[nodiscard]] std::string ContentOriginFor(const AppConfig& config);

// The host's life: start-up, the main loop and the shutdown, in their fixed order.
// Every start-up failure shows one message box and ends with exit code 1.
class Startup {
 public:
  explicit Startup(StartupPorts& ports);
  Startup(const Startup&) = delete;
  Startup& operator=(const Startup&) = delete;
  ~Startup();

  // The process's exit code.
  int run();

 private:
  void start();
  void readPackageText();
  void parseConfig();
  void requireBundledBuildToBeBundled() const;
  void openBundle();
  void openBundleFile();
  void openBundleResource();
  void openBundleOver(std::span<const std::byte> bytes);
  void loadIcon();
  void checkRuntime();
  void createExtensionManager();
  void connectWindowSystem();
  void createMainWindow();
  void createWebViewHost();
  int runMainLoop();
  void shutDown();

  StartupPorts& ports_;
  std::string appFolder_;
  bool fromResource_ = false;
  std::string packageText_;
  AppConfig config_;
  std::string appDataFolder_;
  BundleArchive bundle_;
  std::shared_ptr<const MappedFile> bundleFile_;
  std::optional<Image> icon_;
  std::optional<std::string> browserFolder_;
  std::string extensionFolder_;
  std::unique_ptr<ExtensionManager> extensionManager_;
  WindowSystem* windowSystem_ = nullptr;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<ZephyxWebView> webViewHost_;
};

}  // namespace tavrelle
