#include "platform/chromium/CursorReporter.h"

#include <cstdlib>

#include "embedded/cursor-report.h"
#include "platform/chromium/DevToolsClient.h"

namespace tavrelle::chromium {

std::string CursorScriptSource() {
  return std::string(kEmbedded_cursor_report) + "(" + Json(CursorReporter::kBindingName).dump() +
         ");\n";
}

CursorReporter::CursorReporter(DevToolsClient& client, std::string pageSessionId)
    : client_(client), pageSessionId_(std::move(pageSessionId)) {}

void CursorReporter::start() {
  client_.on("Runtime.bindingCalled", [this](const Json& params, const std::string& sessionId) {
    if (sessionId != pageSessionId_ || params.value("name", std::string()) != kBindingName) return;
    onReport(params.value("payload", std::string()));
  });
  const std::string source = CursorScriptSource();
  client_.send("Runtime.addBinding", {{"name", kBindingName}}, pageSessionId_);
  client_.send("Page.addScriptToEvaluateOnNewDocument", {{"source", source}}, pageSessionId_);
  // The document already loaded gets it too; a second run finds its binding gone.
  client_.send("Runtime.evaluate", {{"expression", source}}, pageSessionId_);
}

void CursorReporter::onReport(const std::string& payload) {
  if (payload.size() < 2) return;
  const std::string value = payload.substr(1);
  if (payload.front() == 'r') {
    const double ratio = std::strtod(value.c_str(), nullptr);
    if (ratio > 0 && ratio < 64) devicePixelRatio_ = ratio;
    return;
  }
  if (payload.front() != 'c' || value == cursor_) return;
  cursor_ = value;
  if (onChanged_) onChanged_();
}

}  // namespace tavrelle::chromium
