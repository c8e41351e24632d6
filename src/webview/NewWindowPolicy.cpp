#include "webview/NewWindowPolicy.h"

#include <cctype>
#include <string>

namespace tavrelle {

bool NewWindowPolicy::isShellScheme(std::string_view uri) {
  size_t colon = uri.find(':');
  if (colon == std::string_view::npos) return false;
  std::string scheme(uri.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (scheme == "mailto") return colon + 1 < uri.size();
  if (scheme != "http" && scheme != "https") return false;
  // A web address names a host: "https:foo" or "https:///x" has none.
  std::string_view rest = uri.substr(colon + 1);
  return rest.starts_with("//") && rest.size() > 2 && rest[2] != '/';
}

bool NewWindowPolicy::admit(const webview::NewWindowRequestedEventArgs& args,
                            bool fromAcceptedSource) {
  const auto& requester = args.get_Requester();
  bool fromTheApp = requester.isTopLevelDocument && fromAcceptedSource;
  if (!fromTheApp && !requester.isUserInitiated) return false;
  if (!isShellScheme(args.get_Uri())) return false;
  return withinRate();
}

bool NewWindowPolicy::withinRate() {
  auto now = clock_();
  while (!recent_.empty() && now - recent_.front() >= std::chrono::seconds(1)) recent_.pop_front();
  if (recent_.size() >= static_cast<size_t>(kMostPerSecond)) return false;
  recent_.push_back(now);
  return true;
}

}  // namespace tavrelle
