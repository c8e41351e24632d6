// The page's messages to the host and the host's messages to the page.

#include <array>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "app/JsonReaders.h"
#include "extensions/ExtensionManager.h"
#include "messaging/DirectoryHandles.h"
#include "messaging/HostMessages.h"
#include "webview/ZephyxWebView.h"

namespace tavrelle {

namespace {

using json = nlohmann::json;

// One action a page message can ask for: the parsed message and, for messages that
// travel on unchanged, the text as the page posted it.
using MessageAction = void (*)(ZephyxWebView& host, const json& message, const std::string& text);

struct IncomingMessage {
  std::string_view type;
  MessageAction action;
};

void WrapperInit(ZephyxWebView& host, const json&, const std::string&) { host.HandleWrapperInit(); }

void SetFullscreen(ZephyxWebView& host, const json& message, const std::string&) {
  host.SetFullscreen(GetBoolOr(message, "fullscreen", false));
}

void SetWindowSize(ZephyxWebView& host, const json& message, const std::string&) {
  const int32_t height = GetIntOr(message, "windowHeight", 0);
  const int32_t width = GetIntOr(message, "windowWidth", 0);
  host.SetWindowSize(width, height);
}

void SetWindowPosition(ZephyxWebView& host, const json& message, const std::string&) {
  const int32_t y = GetIntOr(message, "windowY", 0);
  const int32_t x = GetIntOr(message, "windowX", 0);
  host.SetWindowPosition(x, y);
}

void MaximizeWindow(ZephyxWebView& host, const json&, const std::string&) {
  host.ShowWindowCommand(ShowCommand::Maximize);
}

void MinimizeWindow(ZephyxWebView& host, const json&, const std::string&) {
  host.ShowWindowCommand(ShowCommand::Minimize);
}

void RestoreWindow(ZephyxWebView& host, const json&, const std::string&) {
  host.ShowWindowCommand(ShowCommand::Restore);
}

void FocusWindow(ZephyxWebView& host, const json&, const std::string&) { host.FocusWindow(); }

void SetPointerLockEnabled(ZephyxWebView& host, const json& message, const std::string&) {
  host.SetPointerLockEnabled(GetBoolOr(message, "isEnabled", false));
}

void ExtensionMessage(ZephyxWebView& host, const json&, const std::string& text) {
  host.extensionManager()->forwardExtensionMessage(text);
}

// Compared in this order, whole and case-sensitive; the first match runs.
constexpr std::array kIncomingMessages{
    IncomingMessage{host_messages::kWrapperInit, WrapperInit},
    IncomingMessage{host_messages::kSetFullscreen, SetFullscreen},
    IncomingMessage{host_messages::kSetWindowSize, SetWindowSize},
    IncomingMessage{host_messages::kSetWindowPosition, SetWindowPosition},
    IncomingMessage{host_messages::kMaximizeWindow, MaximizeWindow},
    IncomingMessage{host_messages::kMinimizeWindow, MinimizeWindow},
    IncomingMessage{host_messages::kRestoreWindow, RestoreWindow},
    IncomingMessage{host_messages::kFocusWindow, FocusWindow},
    IncomingMessage{host_messages::kSetPointerLockEnabled, SetPointerLockEnabled},
    IncomingMessage{host_messages::kExtensionMessage, ExtensionMessage},
};

}  // namespace

void ZephyxWebView::PostJsonToPage(const std::string& json) {
  if (webView_ != nullptr) {
    webView_->PostWebMessageAsJson(json);
  }
}

void ZephyxWebView::HandleWebMessage(const std::string& text) {
  try {
    const json message = json::parse(text);
    const std::string type = GetStringOr(message, "type", "");
    for (const auto& incoming : kIncomingMessages) {
      if (incoming.type == type) {
        incoming.action(*this, message, text);
        return;
      }
    }
  } catch (...) {
    // A message that cannot be parsed or fails in its action is abandoned; the page
    // hears nothing and the host carries on with the next one.
  }
}

// The folder handles go first; the answer and the queued messages go out directly, so
// nothing is queued twice.
void ZephyxWebView::HandleWrapperInit() {
  if (webView_ != nullptr) directoryHandles_->send(*webView_);
  PostJsonToPage(host_messages::WrapperInitResponse(extensionManager_->registeredComponentIds()));
  for (const auto& pending : extensionManager_->pendingMessages()) {
    PostJsonToPage(pending);
  }
  extensionManager_->markPageReady();
}

void ZephyxWebView::LogToConsole(const std::string& message, const std::string& logType) {
  extensionManager_->PostMessageToPage(host_messages::LogToConsole(message, logType).c_str());
}

}  // namespace tavrelle
