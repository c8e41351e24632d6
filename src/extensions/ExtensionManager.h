#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "extensions/IWrapperApp.h"
#include "platform/SharedLibrary.h"

namespace tavrelle {

class MessageChannel;
class ZephyxWebView;

struct ExtensionFolders {
  std::string appFolder;        // ends with "/"
  std::string webRoot;          // "www/"
  std::string appDataFolder;    // no trailing "/"
  std::string extensionFolder;  // ends with "/"
};

// The file name of the extension-manager library inside the extension folder.
inline constexpr const char* kExtensionLibraryName = "Keelbridge.so";

// Opens a library by path; nullptr when it cannot be loaded.
using LibraryLoader = std::function<std::unique_ptr<SharedLibrary>(const std::string& path)>;

// The exports of the extension-manager library, as the public header declares them.
using ExtensionInitFunction = const char* const* (*)(const char* appFolder, const char* webRoot,
                                                     const char* appDataFolder,
                                                     const char* extensionFolder, IWrapperApp* app);
using ExtensionReleaseFunction = void (*)();
using ExtensionWindowFunction = void (*)(unsigned long x11Window);
using ExtensionMessageFunction = void (*)(const char* json);

// The host's side of the extension-manager library: the library and its exports, the
// paths and texts it hands out, the component ids the library registered, and its
// messages to and from the page. One instance, main thread only.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"  // see the public header
#endif
class ExtensionManager final : public IWrapperApp {
 public:
  ExtensionManager(ExtensionFolders folders, std::string packageJson);
  ExtensionManager(const ExtensionManager&) = delete;
  ExtensionManager& operator=(const ExtensionManager&) = delete;
  // Shuts the library down if that has not happened yet.
  ~ExtensionManager();

  // Loads "Keelbridge.so" from the extension folder and resolves its exports; calls
  // "Init" when all four exist. A library that does not load means no extensions.
  void loadLibrary(const LibraryLoader& load);
  // The main window exists: "OnMainWindowCreated".
  void notifyMainWindowCreated(uint64_t x11Window);
  // From now on messages go through this host's channel, those posted before first.
  void attachWebViewHost(ZephyxWebView* host);
  // Registers "extension-message" and the component ids of the start handshake.
  void AddHandlersTo(MessageChannel& channel);
  // A page message of type "extension-message", the page's text unchanged.
  void forwardExtensionMessage(const std::string& messageText);
  // "Release", then the library is unloaded. Does nothing the second time.
  void shutDown();

  void PostMessageToPage(const char* json) override;
  const char* GetFolderPath(const char* name) override;
  const char* GetPackageJson() override { return packageJson_.c_str(); }

  [[nodiscard]] bool hasLibrary() const { return library_ != nullptr; }
  [[nodiscard]] const std::vector<std::string>& registeredComponentIds() const {
    return registeredComponentIds_;
  }

  [[nodiscard]] const ExtensionFolders& folders() const { return folders_; }

 private:
  void resolveExports();
  void callInit();
  void copyComponentIds(const char* const* ids);

  std::unique_ptr<SharedLibrary> library_;
  ExtensionInitFunction init_ = nullptr;
  ExtensionReleaseFunction release_ = nullptr;
  ExtensionWindowFunction onMainWindowCreated_ = nullptr;
  ExtensionMessageFunction onExtensionMessage_ = nullptr;
  ExtensionFolders folders_;
  std::string packageJson_;
  ZephyxWebView* webViewHost_ = nullptr;
  std::vector<std::string> registeredComponentIds_;
  std::vector<std::string> postedBeforeHost_;
};
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

}  // namespace tavrelle
