#include "platform/chromium/PageMessaging.h"

#include <charconv>
#include <cstdio>

#include "platform/chromium/PageScript.h"
#include "platform/chromium/PageSessions.h"

namespace tavrelle::chromium {

namespace {

// The page's longest message through the socket: its kind, number and text, UTF-8.
constexpr size_t kLargestSocketMessage = kPageMessageCeiling + 64;

}  // namespace

PageMessaging::PageMessaging(IoEventLoop& loop, DevToolsClient& client, PageSessions& sessions,
                             Received received)
    : client_(client),
      sessions_(sessions),
      received_(std::move(received)),
      batch_(loop, [this](int64_t context, const std::string& messages) {
        sendBatch(context, messages);
      }) {
  socket_ = PageMessageSocket::start(
      loop, kLargestSocketMessage,
      [this](int64_t context, std::string& report) { onSocketMessage(context, report); });
}

std::string PageMessaging::socketAddress() const {
  return socket_ ? socket_->address() : std::string();
}

uint64_t PageMessaging::nextDeliveryNumber(int64_t context) {
  if (context != deliveryContext_) {
    deliveryContext_ = context;
    nextDelivery_ = 0;
  }
  return nextDelivery_++;
}

// ----- Host to page -----

void PageMessaging::post(std::string_view json) {
  auto context = sessions_.topDocumentContext();
  if (!context) return;  // no document yet: the message has no one to reach
  batch_.add(*context, json);
}

void PageMessaging::flush() { batch_.flush(); }

void PageMessaging::sendBatch(int64_t context, const std::string& messages) {
  uint64_t number = nextDeliveryNumber(context);
  std::string numbered = std::to_string(number);
  if (socket_) {
    std::string frame;
    frame.reserve(numbered.size() + messages.size() + 3);
    frame.append(numbered).append(" [").append(messages).append("]");
    if (socket_->send(context, frame)) return;
  }
  bool cheap = messages.size() <= DevToolsClient::kCheapParamsBytes;
  callDispatcher(context, number, "[" + messages + "]", {}, cheap);
}

void PageMessaging::postWithObjects(Json data, const Json& grants) {
  flush();
  auto context = sessions_.topDocumentContext();
  if (!context) return;
  uint64_t number = nextDeliveryNumber(*context);
  callDispatcher(*context, number, Json::array({std::move(data)}).dump(), grants.dump(), false);
}

// Calls the page script's dispatcher with the key, the delivery's number, the batch
// (a JSON array) and the grants of its folder handles, if any. A delivery the browser
// refuses (a message nested too deeply to pass, say) is replaced by an empty one: the
// page would wait for its number forever.
void PageMessaging::callDispatcher(int64_t context, uint64_t number, std::string batch,
                                   std::string grants, bool cheap) {
  bool empty = batch == "[]";
  auto writeParams = [context, number, key = sessions_.reportKey(), batch = std::move(batch),
                      grants = std::move(grants)](std::string& out) {
    out.append(R"({"functionDeclaration":"function (key, number, batch, grants) { )")
        .append(kPageDispatcherName)
        .append(R"((key, number, batch, grants); }","executionContextId":)")
        .append(std::to_string(context))
        .append(R"(,"arguments":[{"value":")")
        .append(key)
        .append(R"("},{"value":)")
        .append(std::to_string(number))
        .append(R"(},{"value":)")
        .append(batch)
        .append("}");
    if (!grants.empty()) out.append(R"(,{"value":)").append(grants).append("}");
    out.append("]}");
  };
  auto onReply = [this, context, number, empty](const DevToolsReply& reply) {
    if (reply.ok || empty || client_.closed()) return;
    std::fprintf(stderr, "tavrelle: a message to the page was refused: %.200s\n",
                 reply.errorMessage.c_str());
    callDispatcher(context, number, "[]", {}, true);
  };
  client_.sendWritten("Runtime.callFunctionOn", sessions_.pageSessionId(), std::move(writeParams),
                      std::move(onReply), cheap);
}

// ----- Page to host -----

void PageMessaging::onReport(PageReport kind, std::string_view data,
                             const ExecutionContexts::CallingDocument& caller,
                             bool fromTopDocument) {
  // Frames, even of the app's own origin, do not drive the host.
  if (!fromTopDocument) return;
  if (kind == PageReport::SocketToken) {
    if (socket_) socket_->announce(caller.contextId, data);
    return;
  }
  putInOrder(kind, data, caller);
}

// One message (kind, number, ":", text), or several as a JSON array of such texts.
void PageMessaging::onSocketMessage(int64_t context, std::string_view text) {
  auto sender = sessions_.topDocument(context);
  if (!sender || text.empty()) return;
  auto take = [&](std::string_view report) {
    auto kind = report.empty() ? std::nullopt : PageReportOf(report.front());
    if (kind == PageReport::Message || kind == PageReport::NonStringMessage)
      putInOrder(*kind, report.substr(1), *sender);
  };
  if (text.front() != '[') return take(text);
  Json batch = Json::parse(text, nullptr, false);
  if (!batch.is_array()) return;
  for (const Json& report : batch) {
    if (report.is_string()) take(report.get_ref<const std::string&>());
  }
}

void PageMessaging::putInOrder(PageReport kind, std::string_view data,
                               const ExecutionContexts::CallingDocument& caller) {
  // The message's number, ":", then its text.
  size_t colon = data.find(':');
  uint64_t number = 0;
  if (colon == std::string_view::npos) return;
  auto parsed = std::from_chars(data.data(), data.data() + colon, number);
  if (parsed.ec != std::errc() || parsed.ptr != data.data() + colon) return;
  std::string message(kind == PageReport::Message ? "m" : "x");
  message.append(data.substr(colon + 1));
  order_.accept(caller.contextId, number, std::move(message), [&](std::string& next) {
    std::optional<std::string> text;
    if (next.front() == 'm') text = next.substr(1);
    received_(caller, std::move(text));
  });
}

}  // namespace tavrelle::chromium
