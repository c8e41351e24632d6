#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string_view>

#include "webview/WebViewRuntime.h"

namespace tavrelle {

// Which new-window requests go to the desktop's handler. A game embeds content its
// makers do not control (ads, user levels, chat links); none of it may start local
// programs through the host. A request passes when it comes from the app's own
// top-level document or with a user gesture, names a web or mail address, and stays
// within a few per second. Everything else is dropped.
class NewWindowPolicy {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  static constexpr int kMostPerSecond = 3;

  explicit NewWindowPolicy(Clock clock = &std::chrono::steady_clock::now)
      : clock_(std::move(clock)) {}

  // Whether the request may be handed on; an admitted request counts against the rate.
  // fromAcceptedSource: the requester's address passes the host's source check.
  bool admit(const webview::NewWindowRequestedEventArgs& args, bool fromAcceptedSource);

  // http, https and mailto addresses, the scheme in any case.
  [[nodiscard]] static bool isShellScheme(std::string_view uri);

 private:
  bool withinRate();

  Clock clock_;
  std::deque<std::chrono::steady_clock::time_point> recent_;
};

}  // namespace tavrelle
