#include "runtime/LocatorTelemetry.h"

#include <nlohmann/json.hpp>

namespace tavrelle::runtime {

namespace {

constexpr const char* kProvider = "Microsoft.MSEdgeWebView.Loader";
constexpr uint64_t kPrivacyTags = 0x1000000;
constexpr uint64_t kKeyword = 0x400000000000;
constexpr int kLevelError = 2;
constexpr int kLevelWarning = 3;
constexpr int kLevelInformation = 4;

nlohmann::json EventOf(const char* name, int level) {
  return {{"event", name},
          {"keyword", kKeyword},
          {"level", level},
          {"PartA_PrivTags", kPrivacyTags},
          {"provider", kProvider}};
}

}  // namespace

std::string EnvironmentErrorEvent(HResult result, bool clientFound, bool installedRuntime) {
  nlohmann::json event = EventOf("CreateWebViewEnvironmentError", kLevelError);
  event["HRESULT"] = result;
  event["ClientDllFound"] = clientFound;
  event["InstalledRuntime"] = installedRuntime;
  return event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string DowngradeVersionPolicyEvent(const std::string& message, const std::string& detail,
                                        bool applied) {
  nlohmann::json event =
      EventOf("DowngradeVersionPolicy", applied ? kLevelInformation : kLevelWarning);
  event["Message"] = message;
  event["Detail"] = detail;
  event["Applied"] = applied;
  return event.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tavrelle::runtime
