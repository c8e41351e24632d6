#pragma once

#include <string>
#include <vector>

#include "extensions/IWrapperApp.h"

namespace tavrelle {

class ZephyxWebView;

struct ExtensionFolders {
  std::string appFolder;        // ends with "/"
  std::string webRoot;          // "www/"
  std::string appDataFolder;    // no trailing "/"
  std::string extensionFolder;  // ends with "/"
};

// The host's side of the extension-manager library: the paths and texts it hands
// out, the component ids the library registered, and the messages for the page that
// wait until the page has sent "wrapper-init". One instance, main thread only.
class ExtensionManager final : public IWrapperApp {
 public:
  ExtensionManager(ExtensionFolders folders, std::string packageJson);
  ExtensionManager(const ExtensionManager&) = delete;
  ExtensionManager& operator=(const ExtensionManager&) = delete;
  ~ExtensionManager() = default;

  // From now on messages can reach the page through this host.
  void attachWebViewHost(ZephyxWebView* host) { webViewHost_ = host; }

  void PostMessageToPage(const char* json) override;
  const char* GetFolderPath(const char* name) override;
  const char* GetPackageJson() override { return packageJson_.c_str(); }

  [[nodiscard]] const std::vector<std::string>& registeredComponentIds() const {
    return registeredComponentIds_;
  }
  [[nodiscard]] bool isPageReady() const { return isPageReady_; }
  [[nodiscard]] const std::vector<std::string>& pendingMessages() const { return pendingMessages_; }
  // The page has started: later messages are posted at once. Never undone.
  void markPageReady();

  [[nodiscard]] const ExtensionFolders& folders() const { return folders_; }

  // ----- The extension-manager library -----
  // Unpacking the packed extension files, loading the library from the extension
  // folder, its four exports and "Release" at shutdown are not built yet. Until they
  // are there is no library: no "Init" (so no component ids), and the page's
  // "extension-message" texts have no "OnExtensionMessage" to go to.
  void forwardExtensionMessage(const std::string& messageText);

 private:
  ExtensionFolders folders_;
  std::string packageJson_;
  ZephyxWebView* webViewHost_ = nullptr;
  std::vector<std::string> registeredComponentIds_;
  bool isPageReady_ = false;
  std::vector<std::string> pendingMessages_;
};

}  // namespace tavrelle
