#include "messaging/MessageChannel.h"

#include <utility>

#include "common/JsonReaders.h"
#include "common/UrlOrigin.h"
#include "messaging/HostMessages.h"
#include "webview/WebViewRuntime.h"

namespace tavrelle {

MessageChannel::MessageChannel(std::string contentOrigin)
    : contentOrigin_(std::move(contentOrigin)) {
  addHandler(host_messages::kWrapperInit,
             [this](const nlohmann::json&, const std::string&) { HandleWrapperInit(); });
}

void MessageChannel::addHandler(std::string_view type, Handler handler) {
  routes_.push_back(Route{std::string(type), std::move(handler)});
}

void MessageChannel::addHandshakeStep(HandshakeStep step) {
  handshakeSteps_.push_back(std::move(step));
}

void MessageChannel::setComponentIdsSource(ComponentIdsSource source) {
  componentIds_ = std::move(source);
}

bool MessageChannel::IsAcceptedSource(const std::string& source) const {
  return IsAcceptedSourceFor(contentOrigin_, source);
}

void MessageChannel::OnWebMessageReceived(const webview::WebMessageReceivedEventArgs& args) {
  if (!IsAcceptedSource(args.get_Source())) {
    return;
  }
  const auto& text = args.TryGetWebMessageAsString();
  if (text) {
    HandleWebMessage(*text);
  }
}

void MessageChannel::HandleWebMessage(const std::string& text) {
  try {
    const nlohmann::json message = nlohmann::json::parse(text);
    Dispatch(GetStringOr(message, "type", ""), message, text);
  } catch (...) {
    // A message that cannot be parsed or fails in its handler is abandoned; the page
    // hears nothing and the host carries on with the next one.
  }
}

void MessageChannel::Dispatch(const std::string& type, const nlohmann::json& message,
                              const std::string& text) {
  for (const Route& route : routes_) {
    if (route.type == type) {
      route.handler(message, text);
      return;
    }
  }
}

// The answer and the queued messages go out directly, so nothing is queued twice.
void MessageChannel::HandleWrapperInit() {
  for (const HandshakeStep& step : handshakeSteps_) {
    step();
  }
  const std::vector<std::string> ids = componentIds_ ? componentIds_() : std::vector<std::string>{};
  PostJsonToPage(host_messages::WrapperInitResponse(ids));
  for (const std::string& pending : pendingMessages_) {
    PostJsonToPage(pending);
  }
  isPageReady_ = true;
  pendingMessages_.clear();
}

void MessageChannel::LogToConsole(const std::string& message, const std::string& logType) {
  PostMessageToPage(host_messages::LogToConsole(message, logType));
}

void MessageChannel::PostJsonToPage(const std::string& json) {
  if (webView_ != nullptr) {
    webView_->PostWebMessageAsJson(json);
  }
}

void MessageChannel::PostMessageToPage(const std::string& json) {
  if (isPageReady_) {
    PostJsonToPage(json);
    return;
  }
  pendingMessages_.push_back(json);
}

}  // namespace tavrelle
