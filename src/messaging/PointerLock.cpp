#include "messaging/PointerLock.h"

#include <string>

#include "common/JsonReaders.h"
#include "messaging/HostMessages.h"
#include "messaging/MessageChannel.h"

namespace tavrelle {

PointerLock::PointerLock(MainWindow& window, PagePoster& page) : window_(window), page_(page) {
  static_cast<void>(window_);
  static_cast<void>(page_);
}

void PointerLock::AddHandlersTo(MessageChannel& channel) {
  channel.addHandler(host_messages::kSetPointerLockEnabled,
                     [this](const nlohmann::json& message, const std::string&) {
                       SetEnabled(GetBoolOr(message, "isEnabled", false));
                     });
}

void PointerLock::SetEnabled(bool enabled) { static_cast<void>(enabled); }

void PointerLock::OnRawMouseMovement(int32_t dx, int32_t dy) {
  static_cast<void>(dx);
  static_cast<void>(dy);
}

void PointerLock::OnTimer() {}

}  // namespace tavrelle
