#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/chromium/DevToolsTransport.h"

namespace tavrelle::chromium {

using Json = nlohmann::json;

// The outcome of one command: its result, or the browser's (or the transport's) error.
struct DevToolsReply {
  bool ok = false;
  Json result;        // the "result" object on success
  int errorCode = 0;  // the browser's error code; 0 when the transport failed
  std::string errorMessage;
};

// Commands, replies and events of the DevTools protocol over one transport, on the main
// thread. Sessions are flat: a session's messages carry its "sessionId"; the browser
// session has none (the empty string here).
//
// Events caused by a command arrive before the command's reply, so state is built from
// events; reply handlers only complete what their command began.
class DevToolsClient final : private DevToolsTransport::Listener {
 public:
  using ReplyHandler = std::function<void(const DevToolsReply&)>;
  using EventHandler = std::function<void(const Json& params, const std::string& sessionId)>;
  using ClosedHandler = std::function<void(const std::string& reason)>;
  // Appends the JSON object of a command's params to the message text.
  using ParamsWriter = std::function<void(std::string& out)>;

  explicit DevToolsClient(DevToolsTransport& transport);
  ~DevToolsClient() override;
  DevToolsClient(const DevToolsClient&) = delete;
  DevToolsClient& operator=(const DevToolsClient&) = delete;

  // Sends a command; onReply (optional) runs when its reply arrives. Returns the id.
  uint64_t send(std::string_view method, Json params, const std::string& sessionId = {},
                ReplyHandler onReply = {});
  // Sends a command whose params are written where the transport writes (off the
  // main thread for the pipe): for large response bodies.
  // cheap: writing the params costs no more than copying a few kilobytes
  // (params of at most kCheapParamsBytes).
  static constexpr size_t kCheapParamsBytes = size_t{64} * 1024;
  uint64_t sendWritten(std::string_view method, const std::string& sessionId,
                       ParamsWriter writeParams, ReplyHandler onReply = {}, bool cheap = false);

  // Every handler of a method runs for each of its events, in registration order.
  void on(std::string method, EventHandler handler);
  // Runs once, when the browser can no longer be reached. Pending replies fail first.
  void onClosed(ClosedHandler handler);

  [[nodiscard]] bool closed() const { return closed_; }
  [[nodiscard]] size_t pendingReplyCount() const { return pending_.size(); }

 private:
  void onMessageReceived(Json message) override;
  void onMessageRejected(uint64_t id, const std::string& reason) override;
  void onTransportClosed(const std::string& reason) override;

  void deliverReply(const Json& message);
  void deliverEvent(const Json& message);
  uint64_t enqueue(const std::string& header, ParamsWriter writeParams, ReplyHandler onReply,
                   bool cheap);
  void complete(uint64_t id, const DevToolsReply& reply);

  DevToolsTransport& transport_;
  uint64_t nextId_ = 1;
  std::unordered_map<uint64_t, ReplyHandler> pending_;
  std::map<std::string, std::vector<EventHandler>, std::less<>> eventHandlers_;
  std::vector<ClosedHandler> closedHandlers_;
  bool closed_ = false;
  // False once destroyed: a handler may end the client's owner while it runs.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// Serialises a value the browser will read: invalid UTF-8 is replaced, never thrown on.
std::string toWireJson(const Json& value);

}  // namespace tavrelle::chromium
