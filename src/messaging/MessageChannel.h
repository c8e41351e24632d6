#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "messaging/PagePoster.h"

namespace tavrelle {

namespace webview {
class WebView;
class WebMessageReceivedEventArgs;
}  // namespace webview

// The one channel of JSON messages between the page and the host: accepts messages only
// from pages under the content origin, parses them strictly, runs the handler registered
// for their "type", answers the start handshake and holds host messages back until the
// page has started. Services (window commands, pointer lock, folders, extensions)
// register their message types and handshake steps; the channel knows none of them.
// Main thread only.
class MessageChannel final : public PagePoster {
 public:
  // Runs one page message: the parsed object and the text as the page posted it.
  using Handler = std::function<void(const nlohmann::json& message, const std::string& text)>;
  // Runs on every "wrapper-init", before the answer is posted.
  using HandshakeStep = std::function<void()>;
  using ComponentIdsSource = std::function<std::vector<std::string>()>;

  // Pages that pass the source check against contentOrigin may drive the host.
  explicit MessageChannel(std::string contentOrigin);

  // Messages can be posted from now on.
  void attachWebView(webview::WebView* webView) { webView_ = webView; }
  // Adds a page message type, compared whole and case-sensitively; the first
  // registration of a type wins.
  void addHandler(std::string_view type, Handler handler);
  void addHandshakeStep(HandshakeStep step);
  // The ids the answer to "wrapper-init" lists; none until set.
  void setComponentIdsSource(ComponentIdsSource source);

  // The web view's WebMessageReceived: source check, then HandleWebMessage.
  void OnWebMessageReceived(const webview::WebMessageReceivedEventArgs& args);
  // Parses and dispatches one page message; a message that fails in any way is dropped.
  void HandleWebMessage(const std::string& text);
  // The answer to "wrapper-init": handshake steps, the answer, then the queued messages.
  void HandleWrapperInit();
  // A "log-to-console" line for the page, queued until the page has started.
  void LogToConsole(const std::string& message, const std::string& logType);

  void PostJsonToPage(const std::string& json) override;
  void PostMessageToPage(const std::string& json) override;

  [[nodiscard]] bool isPageReady() const { return isPageReady_; }
  [[nodiscard]] const std::vector<std::string>& pendingMessages() const { return pendingMessages_; }

 private:
  struct Route {
    std::string type;
    Handler handler;
  };

  [[nodiscard]] bool IsAcceptedSource(const std::string& source) const;
  void Dispatch(const std::string& type, const nlohmann::json& message, const std::string& text);

  std::string contentOrigin_;
  webview::WebView* webView_ = nullptr;  // owned by the controller
  std::vector<Route> routes_;
  std::vector<HandshakeStep> handshakeSteps_;
  ComponentIdsSource componentIds_;
  bool isPageReady_ = false;
  std::vector<std::string> pendingMessages_;
};

}  // namespace tavrelle
