#include "extensions/ExtensionManager.h"

#include <utility>

#include "webview/ZephyxWebView.h"

namespace tavrelle {

ExtensionManager::ExtensionManager(ExtensionFolders folders, std::string packageJson)
    : folders_(std::move(folders)), packageJson_(std::move(packageJson)) {}

void ExtensionManager::PostMessageToPage(const char* json) {
  std::string text = json != nullptr ? json : "";
  if (isPageReady_ && webViewHost_ != nullptr) {
    webViewHost_->PostJsonToPage(text);
    return;
  }
  pendingMessages_.push_back(std::move(text));
}

const char* ExtensionManager::GetFolderPath(const char* name) {
  if (webViewHost_ == nullptr || name == nullptr) {
    return "";
  }
  const auto& table = webViewHost_->folderTable();
  const auto entry = table.find(name);
  return entry != table.end() ? entry->second.c_str() : "";
}

void ExtensionManager::markPageReady() {
  isPageReady_ = true;
  pendingMessages_.clear();
}

void ExtensionManager::forwardExtensionMessage(const std::string& messageText) {
  // No library is loaded, so there is no "OnExtensionMessage" to hand the text to.
  static_cast<void>(messageText);
}

}  // namespace tavrelle
