#include "messaging/HostMessages.h"

namespace tavrelle::host_messages {

namespace {

nlohmann::json OfType(std::string_view type) { return {{"type", type}}; }

}  // namespace

std::string ToCompactJson(const nlohmann::json& message) {
  return message.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string WrapperInitResponse(const std::vector<std::string>& componentIds) {
  auto message = OfType("wrapper-init-response");
  message["registeredComponentIds"] = nlohmann::json::array();
  for (const auto& id : componentIds) {
    message["registeredComponentIds"].push_back(id);
  }
  return ToCompactJson(message);
}

std::string FullscreenChange(bool isFullscreen) {
  auto message = OfType("fullscreen-change");
  message["isFullscreen"] = isFullscreen;
  return ToCompactJson(message);
}

std::string WindowMaximized() { return ToCompactJson(OfType("window-maximized")); }

std::string WindowMinimized() { return ToCompactJson(OfType("window-minimized")); }

std::string LogToConsole(const std::string& message, const std::string& logType) {
  auto line = OfType("log-to-console");
  line["logType"] = logType;
  line["message"] = message;
  return ToCompactJson(line);
}

}  // namespace tavrelle::host_messages
