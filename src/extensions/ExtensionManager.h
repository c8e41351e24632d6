#pragma once

#include <string>
#include <vector>

#include "extensions/IWrapperApp.h"

namespace tavrelle {

class MessageChannel;
class ZephyxWebView;

struct ExtensionFolders {
  std::string appFolder;        // ends with "/"
  std::string webRoot;          // "www/"
  std::string appDataFolder;    // no trailing "/"
  std::string extensionFolder;  // ends with "/"
};

// The host's side of the extension-manager library: the paths and texts it hands
// out, the component ids the library registered, and its messages to and from the
// page. One instance, main thread only.
class ExtensionManager final : public IWrapperApp {
 public:
  ExtensionManager(ExtensionFolders folders, std::string packageJson);
  ExtensionManager(const ExtensionManager&) = delete;
  ExtensionManager& operator=(const ExtensionManager&) = delete;
  ~ExtensionManager() = default;

  // From now on messages go through this host's channel, those posted before first.
  void attachWebViewHost(ZephyxWebView* host);
  // Registers "extension-message" and the component ids of the start handshake.
  void AddHandlersTo(MessageChannel& channel);

  void PostMessageToPage(const char* json) override;
  const char* GetFolderPath(const char* name) override;
  const char* GetPackageJson() override { return packageJson_.c_str(); }

  [[nodiscard]] const std::vector<std::string>& registeredComponentIds() const {
    return registeredComponentIds_;
  }

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
  std::vector<std::string> postedBeforeHost_;
};

}  // namespace tavrelle
