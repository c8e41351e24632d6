#include "platform/chromium/ChromiumQuirks.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "app/AppOrigin.h"

namespace tavrelle::chromium::quirks {

namespace {

// "tavrelle.localhost" from "https://tavrelle.localhost/".
std::string appHostName() {
  std::string_view host = AppOrigin.substr(AppOrigin.find("://") + 3);
  return std::string(host.substr(0, host.find('/')));
}

}  // namespace

std::vector<std::string> noNetworkSwitches(uint16_t appHostPort) {
  std::string appHostAddress =
      appHostPort == 0 ? std::string("~NOTFOUND") : "127.0.0.1:" + std::to_string(appHostPort);
  return {
      "--disable-features=MediaRouter,NetworkTimeServiceQuerying",
      "--host-resolver-rules=MAP update.googleapis.com ~NOTFOUND, MAP " + appHostName() + " " +
          appHostAddress,
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-sync",
  };
}

std::vector<std::string> runningAsRootSwitches() { return {"--no-sandbox"}; }

std::vector<std::string> noWarningBarSwitches() { return {"--test-type"}; }

std::string blankAppPageUrl(unsigned char red, unsigned char green, unsigned char blue) {
  char colour[8];
  std::snprintf(colour, sizeof colour, "%02x%02x%02x", red, green, blue);
  // "#" must be escaped in a data: URL; the page is otherwise plain.
  return std::string("data:text/html,<html style=\"background:%23") + colour +
         "\"><title> </title></html>";
}

std::string heldLaunchPageUrl() { return std::string(AppOrigin) + "?tavrelle-launch-page"; }

bool isBlankAppPage(std::string_view url) {
  return url.starts_with("data:text/html,<html style=") || url == heldLaunchPageUrl();
}

bool isOpaqueContextOrigin(std::string_view origin) {
  return origin.empty() || origin == "://" || origin == "null";
}

bool isDevToolsWindowUrl(std::string_view url) {
  return url.starts_with("devtools://") || url.starts_with("chrome-devtools://");
}

std::string launchExecutable(const std::string& executable) {
  constexpr const char* kDebianWrapper = "/usr/bin/chromium";
  constexpr std::string_view kDebianBinary = "/usr/lib/chromium/chromium";
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(executable, error);
  if (error || resolved != kDebianBinary) return executable;
  if (access(kDebianWrapper, X_OK) != 0) return executable;
  return kDebianWrapper;
}

}  // namespace tavrelle::chromium::quirks
