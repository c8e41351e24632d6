#include "platform/chromium/ChromiumQuirks.h"

#include <sys/statvfs.h>

#include <cstdio>

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

bool sharedMemoryIsSmall() {
  constexpr uint64_t kEnoughSharedMemory = 4080218931;  // 3.8 GB
  struct statvfs folder {};
  if (statvfs("/dev/shm", &folder) != 0) return true;
  return uint64_t{folder.f_bavail} * folder.f_frsize < kEnoughSharedMemory;
}

}  // namespace tavrelle::chromium::quirks
