#include "extensions/ExtensionManager.h"

#include <utility>

#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

ExtensionManager::ExtensionManager(ExtensionFolders folders, std::string packageJson)
    : folders_(std::move(folders)), packageJson_(std::move(packageJson)) {}

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
  const auto& table = webViewHost_->folderTable();
  const auto entry = table.find(name);
  return entry != table.end() ? entry->second.c_str() : "";
}

void ExtensionManager::forwardExtensionMessage(const std::string& messageText) {
  // No library is loaded, so there is no "OnExtensionMessage" to hand the text to.
  static_cast<void>(messageText);
}

}  // namespace tavrelle
