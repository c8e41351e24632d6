#include "extensions/ExtensionManager.h"

#include <utility>

#include "extensions/HostFolders.h"
#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

// A symbol's address as the function pointer type of the export.
template <typename Function>
Function ExportOf(const SharedLibrary& library, const char* name) {
  return reinterpret_cast<Function>(library.symbol(name));
}

}  // namespace

ExtensionManager::ExtensionManager(ExtensionFolders folders, std::string packageJson)
    : folders_(std::move(folders)), packageJson_(std::move(packageJson)) {}

ExtensionManager::~ExtensionManager() { shutDown(); }

void ExtensionManager::loadLibrary(const LibraryLoader& load) {
  if (!load) {
    return;
  }
  library_ = load(folders_.extensionFolder + kExtensionLibraryName);
  if (library_ == nullptr) {
    return;
  }
  resolveExports();
  if (init_ != nullptr && release_ != nullptr && onMainWindowCreated_ != nullptr &&
      onExtensionMessage_ != nullptr) {
    callInit();
  }
}

void ExtensionManager::resolveExports() {
  init_ = ExportOf<ExtensionInitFunction>(*library_, "Init");
  release_ = ExportOf<ExtensionReleaseFunction>(*library_, "Release");
  onMainWindowCreated_ = ExportOf<ExtensionWindowFunction>(*library_, "OnMainWindowCreated");
  onExtensionMessage_ = ExportOf<ExtensionMessageFunction>(*library_, "OnExtensionMessage");
}

// A library whose "Init" throws has registered nothing; the host goes on without ids
// rather than letting the failure end the process mid-start.
void ExtensionManager::callInit() {
  const char* const* ids = nullptr;
  try {
    ids = init_(folders_.appFolder.c_str(), folders_.webRoot.c_str(),
                folders_.appDataFolder.c_str(), folders_.extensionFolder.c_str(), this);
  } catch (...) {
    return;
  }
  copyComponentIds(ids);
}

void ExtensionManager::copyComponentIds(const char* const* ids) {
  if (ids == nullptr) {
    return;
  }
  for (; *ids != nullptr; ++ids) {
    registeredComponentIds_.emplace_back(*ids);
  }
}

void ExtensionManager::notifyMainWindowCreated(uint64_t x11Window) {
  if (onMainWindowCreated_ == nullptr) {
    return;
  }
  try {
    onMainWindowCreated_(static_cast<unsigned long>(x11Window));
  } catch (...) {
    // The library's own failure; the window and the game go on without it.
  }
}

void ExtensionManager::forwardExtensionMessage(const std::string& messageText) {
  if (onExtensionMessage_ == nullptr) {
    return;
  }
  try {
    onExtensionMessage_(messageText.c_str());
  } catch (...) {
    // A message the library fails on is dropped like any other failed page message.
  }
}

// The exports point into the library, so they are cleared before it is unloaded.
void ExtensionManager::shutDown() {
  if (release_ != nullptr) {
    const ExtensionReleaseFunction release = std::exchange(release_, nullptr);
    try {
      release();
    } catch (...) {
      // Unloading goes ahead: the process is ending.
    }
  }
  init_ = nullptr;
  onMainWindowCreated_ = nullptr;
  onExtensionMessage_ = nullptr;
  library_.reset();
}

void ExtensionManager::attachWebViewHost(ZephyxWebView* host) {
  webViewHost_ = host;
  if (webViewHost_ != nullptr) {
    for (const std::string& text : postedBeforeHost_) {
      webViewHost_->PostMessageToPage(text);
    }
    postedBeforeHost_.clear();
  }
}

void ExtensionManager::AddHandlersTo(MessageChannel& channel) {
  channel.addHandler(
      host_messages::kExtensionMessage,
      [this](const nlohmann::json&, const std::string& text) { forwardExtensionMessage(text); });
  channel.setComponentIdsSource([this] { return registeredComponentIds_; });
}

// Until the page has started, the channel holds the messages back.
void ExtensionManager::PostMessageToPage(const char* json) {
  std::string text = json != nullptr ? json : "";
  if (webViewHost_ == nullptr) {
    postedBeforeHost_.push_back(std::move(text));
    return;
  }
  webViewHost_->PostMessageToPage(text);
}

const char* ExtensionManager::GetFolderPath(const char* name) {
  if (webViewHost_ == nullptr || name == nullptr) {
    return "";
  }
  const std::string* path = FindHostFolder(*webViewHost_, name);
  return path != nullptr ? path->c_str() : "";
}

}  // namespace tavrelle
