#include "platform/chromium/DevToolsClient.h"

#include <cstdio>

namespace tavrelle::chromium {

std::string toWireJson(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

DevToolsClient::DevToolsClient(DevToolsTransport& transport) : transport_(transport) {
  transport_.setListener(this);
}

DevToolsClient::~DevToolsClient() {
  *alive_ = false;
  transport_.setListener(nullptr);
}

uint64_t DevToolsClient::send(std::string_view method, Json params, const std::string& sessionId,
                              ReplyHandler onReply) {
  if (!params.is_object()) params = Json::object();
  // Small params are serialised here; the transport's thread only copies them out.
  auto text = std::make_shared<const std::string>(toWireJson(params));
  bool cheap = text->size() <= kCheapParamsBytes;
  return sendWritten(
      method, sessionId, [text](std::string& out) { out.append(*text); }, std::move(onReply),
      cheap);
}

uint64_t DevToolsClient::sendWritten(std::string_view method, const std::string& sessionId,
                                     ParamsWriter writeParams, ReplyHandler onReply, bool cheap) {
  Json header = {{"method", method}};
  if (!sessionId.empty()) header["sessionId"] = sessionId;
  return enqueue(toWireJson(header), std::move(writeParams), std::move(onReply), cheap);
}

uint64_t DevToolsClient::enqueue(const std::string& header, ParamsWriter writeParams,
                                 ReplyHandler onReply, bool cheap) {
  uint64_t id = nextId_++;
  if (closed_) return id;  // the closure has been reported; nothing can be sent any more
  if (onReply) pending_.emplace(id, std::move(onReply));
  // header is `{"method":...}`: the id and the params are spliced in around it.
  std::string prefix = "{\"id\":" + std::to_string(id) + "," + header.substr(1);
  prefix.pop_back();
  prefix += ",\"params\":";
  transport_.send(OutgoingMessage{id,
                                  [prefix = std::move(prefix), write = std::move(writeParams)] {
                                    std::string text = prefix;
                                    write(text);
                                    text.push_back('}');
                                    return text;
                                  },
                                  cheap});
  return id;
}

void DevToolsClient::on(std::string method, EventHandler handler) {
  eventHandlers_[std::move(method)].push_back(std::move(handler));
}

void DevToolsClient::onClosed(ClosedHandler handler) {
  closedHandlers_.push_back(std::move(handler));
}

void DevToolsClient::onMessageReceived(Json message) {
  if (closed_) return;
  if (message.contains("id")) {
    deliverReply(message);
  } else if (message.contains("method")) {
    deliverEvent(message);
  }
}

void DevToolsClient::deliverReply(const Json& message) {
  const Json& idValue = message["id"];
  if (!idValue.is_number_unsigned()) return;
  DevToolsReply reply;
  if (auto error = message.find("error"); error != message.end() && error->is_object()) {
    reply.errorCode = error->value("code", 0);
    reply.errorMessage = error->value("message", std::string("unknown error"));
    if (auto data = error->find("data"); data != error->end() && data->is_string()) {
      reply.errorMessage += ": " + data->get<std::string>();
    }
  } else {
    reply.ok = true;
    if (auto result = message.find("result"); result != message.end()) reply.result = *result;
  }
  complete(idValue.get<uint64_t>(), reply);
}

void DevToolsClient::deliverEvent(const Json& message) {
  const Json& method = message["method"];
  if (!method.is_string()) return;
  auto handlers = eventHandlers_.find(method.get_ref<const std::string&>());
  if (handlers == eventHandlers_.end()) return;
  static const Json kNoParams = Json::object();
  auto params = message.find("params");
  const Json& paramsValue = params != message.end() ? *params : kNoParams;
  std::string sessionId = message.value("sessionId", std::string());
  // A handler may register further handlers: iterate over a copy.
  auto toCall = handlers->second;
  auto alive = alive_;
  for (const auto& handler : toCall) {
    handler(paramsValue, sessionId);
    if (!*alive || closed_) return;
  }
}

void DevToolsClient::complete(uint64_t id, const DevToolsReply& reply) {
  auto pending = pending_.find(id);
  if (pending == pending_.end()) return;
  ReplyHandler handler = std::move(pending->second);
  pending_.erase(pending);
  handler(reply);
}

void DevToolsClient::onMessageRejected(uint64_t id, const std::string& reason) {
  DevToolsReply reply;
  reply.errorMessage = reason;
  if (pending_.contains(id)) {
    complete(id, reply);
  } else {
    std::fprintf(stderr, "tavrelle: a DevTools command was not sent: %s\n", reason.c_str());
  }
}

void DevToolsClient::onTransportClosed(const std::string& reason) {
  if (closed_) return;
  closed_ = true;
  auto pending = std::move(pending_);
  pending_.clear();
  auto handlers = std::move(closedHandlers_);
  closedHandlers_.clear();
  auto alive = alive_;
  DevToolsReply reply;
  reply.errorMessage = "connection closed: " + reason;
  for (auto& [id, handler] : pending) {
    handler(reply);
    if (!*alive) return;
  }
  for (auto& handler : handlers) {
    handler(reason);
    if (!*alive) return;
  }
}

}  // namespace tavrelle::chromium
