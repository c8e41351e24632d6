#include "platform/chromium/PageScript.h"

#include <nlohmann/json.hpp>

#include "embedded/directory-handles.h"
#include "embedded/message-listeners.h"
#include "embedded/page-api.h"

namespace tavrelle::chromium {

std::string pageScriptSource(const PageScriptConfig& config, const std::string& reportKey,
                             const std::string& messageSocket) {
  nlohmann::json settings = {
      {"key", reportKey},
      {"messageCeiling", kPageMessageCeiling},
      {"messageSocket", messageSocket},
      {"binding", kPageBindingName},
      {"dispatcher", kPageDispatcherName},
      {"fileSystemReplies", kFileSystemReplyName},
      {"fileInputMaker", kFileInputMakerName},
      {"messages", config.webMessages},
      {"devTools", config.devTools},
      {"browserKeys", config.browserKeys},
      {"zoomControl", config.zoomControl},
      {"pinchZoom", config.pinchZoom},
      {"contextMenus", config.contextMenus},
  };
  return std::string(kEmbedded_page_api) + "(" + settings.dump() + ",\n" +
         std::string(kEmbedded_directory_handles) + ",\n" +
         std::string(kEmbedded_message_listeners) + ");\n";
}

}  // namespace tavrelle::chromium
