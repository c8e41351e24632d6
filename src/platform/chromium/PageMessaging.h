#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/IoEventLoop.h"
#include "platform/chromium/DevToolsClient.h"
#include "platform/chromium/ExecutionContexts.h"
#include "platform/chromium/HostMessageBatch.h"
#include "platform/chromium/PageMessageOrder.h"
#include "platform/chromium/PageMessageSocket.h"
#include "platform/chromium/PageReports.h"

namespace tavrelle::chromium {

class PageSessions;

// Web messages between the host and the top document. The host's messages of one turn
// go as one batch, through the document's message socket when it holds one and as a
// DevTools call otherwise; each delivery is numbered so that the page runs them in
// the order posted, whichever way they came. The page's messages are put back into
// the order the page sent them.
class PageMessaging {
 public:
  // A message of the top document: its text, or nothing when it posted a non-string.
  using Received = std::function<void(const ExecutionContexts::CallingDocument& sender,
                                      std::optional<std::string> message)>;

  PageMessaging(IoEventLoop& loop, DevToolsClient& client, PageSessions& sessions,
                Received received);
  PageMessaging(const PageMessaging&) = delete;
  PageMessaging& operator=(const PageMessaging&) = delete;

  // Where the page script opens the message socket; empty when there is none.
  [[nodiscard]] std::string socketAddress() const;
  // Queues a message (valid JSON text) for the top document.
  void post(std::string_view json);
  // Sends a message with folder handles (made by the page script from their grants).
  void postWithObjects(Json data, const Json& grants);
  // Sends what is queued now, ahead of a call into the page that must follow it.
  void flush();
  // A report of the message kinds, or the socket token, from a document.
  void onReport(PageReport kind, std::string_view data,
                const ExecutionContexts::CallingDocument& caller, bool fromTopDocument);

 private:
  uint64_t nextDeliveryNumber(int64_t context);
  void sendBatch(int64_t context, const std::string& messages);
  void callDispatcher(int64_t context, uint64_t number, std::string batch, std::string grants,
                      bool cheap);
  void onSocketMessage(int64_t context, std::string_view text);
  void putInOrder(PageReport kind, std::string_view data,
                  const ExecutionContexts::CallingDocument& caller);

  DevToolsClient& client_;
  PageSessions& sessions_;
  Received received_;
  HostMessageBatch batch_;
  std::unique_ptr<PageMessageSocket> socket_;
  PageMessageOrder order_;
  int64_t deliveryContext_ = 0;
  uint64_t nextDelivery_ = 0;
};

}  // namespace tavrelle::chromium
