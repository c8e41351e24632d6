#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "app/AppConfig.h"
#include "messaging/MessageChannel.h"
#include "messaging/PointerLock.h"
#include "messaging/WindowCommands.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Geometry.h"
#include "platform/MainWindow.h"
#include "visual/CaptureRenderer.h"
#include "webview/CompositionController.h"
#include "webview/NewWindowPolicy.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

class BundleArchive;
class DirectoryHandles;
class ExtensionManager;
class ResourceServer;
class VisualHostingManager;

// What the web view host needs from the platform besides the window and the runtime.
struct WebViewHostPorts {
  std::function<void(const std::string& target)> shellOpen;
  std::function<void(const std::string& name, const std::string& value)> setEnvironmentVariable;
  ShowMessageBoxPort showMessageBox;
  // Ends the main loop; the process then exits with the code.
  std::function<void(int exitCode)> endMainLoop;
  // Makes the capture renderer's device (visual capture mode), on the renderer thread.
  CaptureRenderer::DeviceFactory makeCaptureDevice;
};

// Everything start-up hands the web view host. The pointers are not owned and
// outlive the host.
struct WebViewHostSetup {
  const AppConfig* config = nullptr;
  const BundleArchive* bundle = nullptr;  // closed when no bundle is used
  ExtensionManager* extensionManager = nullptr;
  MainWindow* window = nullptr;
  std::string appFolder;       // ends with "/"
  std::string webRoot;         // "www/"
  std::string userDataFolder;  // the app data folder
  // Pages whose address begins with it may drive the host: the app origin in bundle
  // content mode, the configured start address in remote content mode.
  std::string contentOrigin;
  std::optional<std::string> browserExecutableFolder;  // "webview2" in fixed distribution
  std::shared_ptr<const MappedFile> bundleFile;        // the mapped bundle file, if any
};

// The process's one web view host: creates the web view inside the main window,
// keeps it in step with the window, serves its requests, and carries the messages
// between page and host. Main thread only.
class ZephyxWebView {
 public:
  using FolderTable = std::map<std::string, std::string>;

  ZephyxWebView(WebViewHostSetup setup, webview::WebViewRuntime& runtime, WebViewHostPorts ports);
  ZephyxWebView(const ZephyxWebView&) = delete;
  ZephyxWebView& operator=(const ZephyxWebView&) = delete;
  ~ZephyxWebView();

  // Starts the asynchronous creation of environment, controller and web view.
  void Init();
  // Runs once the controller exists: settings, event handlers, request filter, start page.
  void InitWithController();

  // ----- Message channel -----
  void PostJsonToPage(const std::string& json) { channel_.PostJsonToPage(json); }
  void PostMessageToPage(const std::string& json) { channel_.PostMessageToPage(json); }
  void HandleWebMessage(const std::string& text) { channel_.HandleWebMessage(text); }
  void HandleWrapperInit() { channel_.HandleWrapperInit(); }
  void LogToConsole(const std::string& message, const std::string& logType) {
    channel_.LogToConsole(message, logType);
  }

  // ----- Window commands -----
  void SetFullscreen(bool enable) { windowCommands_.SetFullscreen(enable); }
  void SetWindowSize(int32_t width, int32_t height) {
    windowCommands_.SetWindowSize(width, height);
  }
  void SetWindowPosition(int32_t x, int32_t y) { windowCommands_.SetWindowPosition(x, y); }
  void ShowWindowCommand(ShowCommand command) { windowCommands_.ShowWindowCommand(command); }
  void FocusWindow() { windowCommands_.FocusWindow(); }

  // ----- Pointer lock -----
  void SetPointerLockEnabled(bool enabled) { pointerLock_.SetEnabled(enabled); }
  void OnRawInput(const RawMouseSample& sample) { pointerLock_.OnRawInput(sample); }
  void OnPointerLockTimer() { pointerLock_.OnTimer(); }

  // Drops the resource server's cached file mappings (at shutdown).
  void ReleaseMappedFiles();

  [[nodiscard]] MainWindow* window() const { return window_; }
  [[nodiscard]] webview::WebViewController* controller() const { return controller_.get(); }
  [[nodiscard]] webview::WebView* webView() const { return webView_; }
  // Present in visual hosting mode once the composition controller exists.
  [[nodiscard]] VisualHostingManager* visualHostingManager() const {
    return visualHostingManager_.get();
  }
  [[nodiscard]] ExtensionManager* extensionManager() const { return extensionManager_; }
  [[nodiscard]] const std::string& contentOrigin() const { return contentOrigin_; }
  [[nodiscard]] bool isFullscreen() const { return windowCommands_.isFullscreen(); }
  [[nodiscard]] MessageChannel& messageChannel() { return channel_; }
  [[nodiscard]] const FolderTable& folderTable() const { return folderTable_; }

 private:
  // Creation steps.
  void OnEnvironmentCreated(const webview::CreationResult& result,
                            std::shared_ptr<webview::WebViewEnvironment> environment);
  void OnControllerCreated(const webview::CreationResult& result,
                           std::shared_ptr<webview::WebViewController> controller);
  void OnCompositionControllerCreated(
      const webview::CreationResult& result,
      std::shared_ptr<webview::CompositionController> compositionController);
  bool RequestCompositionController(const webview::ControllerOptions& options);
  void FailCreation(const webview::CreationResult& result);
  void ApplySettings();
  void TakeOverAcceleratorKeys();
  void ApplyInputSettings();
  void RegisterRequestInterception();
  void RegisterPageEventHandlers();
  void NavigateToStartPage();

  // Event handlers.
  void OnAcceleratorKeyPressed(webview::AcceleratorKeyPressedEventArgs& args);
  void OnDocumentTitleChanged();
  // Gives the keyboard to the page, once the controller exists.
  void FocusPage();
  void OnWebResourceRequested(webview::WebResourceRequestedEventArgs& args);
  void OnNavigationStarting(webview::NavigationStartingEventArgs& args);
  void OnPermissionRequested(webview::PermissionRequestedEventArgs& args);
  void OnContainsFullScreenElementChanged();
  void OnWindowCloseRequested();
  void OnNewWindowRequested(webview::NewWindowRequestedEventArgs& args);
  void OnDOMContentLoaded();
  void OnProcessFailed(webview::ProcessFailedEventArgs& args);

  [[nodiscard]] bool IsAcceptedSource(const std::string& uri) const;

  const AppConfig* config_;
  const BundleArchive* bundle_;
  ExtensionManager* extensionManager_;
  MainWindow* window_;
  std::string appFolder_;
  std::string webRoot_;
  std::string userDataFolder_;
  std::string contentOrigin_;
  std::optional<std::string> browserExecutableFolder_;
  webview::WebViewRuntime& runtime_;
  WebViewHostPorts ports_;
  FolderTable folderTable_;

  std::shared_ptr<webview::WebViewEnvironment> environment_;
  std::shared_ptr<webview::WebViewController> controller_;
  webview::WebView* webView_ = nullptr;  // owned by the controller
  std::unique_ptr<VisualHostingManager> visualHostingManager_;
  std::shared_ptr<webview::CompositionController> compositionController_;

  std::unique_ptr<ResourceServer> resourceServer_;  // holds the cache of mapped files
  std::unique_ptr<DirectoryHandles> directoryHandles_;

  MessageChannel channel_;
  WindowCommands windowCommands_;
  PointerLock pointerLock_;

  NewWindowPolicy newWindowPolicy_;
};

}  // namespace tavrelle
