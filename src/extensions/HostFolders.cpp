#include "extensions/HostFolders.h"

#include "webview/ZephyxWebView.h"

namespace tavrelle {

const std::string* FindHostFolder(const ZephyxWebView& host, const std::string& name) {
  const auto& table = host.folderTable();
  const auto entry = table.find(name);
  return entry != table.end() ? &entry->second : nullptr;
}

}  // namespace tavrelle
