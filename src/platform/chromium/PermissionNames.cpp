#include "platform/chromium/PermissionNames.h"

#include <algorithm>
#include <cctype>

#include "platform/chromium/ResponseHeaders.h"

namespace tavrelle::chromium {

using webview::PermissionKind;
using Json = nlohmann::json;

namespace {

Json named(const char* name) { return Json{{"name", name}}; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return std::ranges::equal(
      a, b, [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

}  // namespace

std::vector<Json> permissionDescriptorsFor(PermissionKind kind) {
  switch (kind) {
    case PermissionKind::Microphone:
      return {named("microphone")};
    case PermissionKind::Camera:
      return {named("camera")};
    case PermissionKind::Geolocation:
      return {named("geolocation")};
    case PermissionKind::Notifications:
      return {named("notifications")};
    case PermissionKind::OtherSensors:
      return {named("accelerometer"), named("gyroscope"), named("magnetometer"),
              named("ambient-light-sensor")};
    case PermissionKind::ClipboardRead:
      return {named("clipboard-read"), named("clipboard-write")};
    case PermissionKind::LocalFonts:
      return {named("local-fonts")};
    case PermissionKind::MidiSystemExclusive:
      return {named("midi"), Json{{"name", "midi"}, {"sysex", true}}};
    case PermissionKind::WindowManagement:
      return {named("window-management")};
    case PermissionKind::Unknown:
    case PermissionKind::MultipleAutomaticDownloads:
    case PermissionKind::FileReadWrite:
    case PermissionKind::Autoplay:
      return {};
  }
  return {};
}

const std::vector<PermissionKind>& askablePermissionKinds() {
  static const std::vector<PermissionKind> kinds = {PermissionKind::Microphone,
                                                    PermissionKind::Camera,
                                                    PermissionKind::Geolocation,
                                                    PermissionKind::Notifications,
                                                    PermissionKind::OtherSensors,
                                                    PermissionKind::ClipboardRead,
                                                    PermissionKind::MultipleAutomaticDownloads,
                                                    PermissionKind::FileReadWrite,
                                                    PermissionKind::Autoplay,
                                                    PermissionKind::LocalFonts,
                                                    PermissionKind::MidiSystemExclusive,
                                                    PermissionKind::WindowManagement};
  return kinds;
}

std::vector<Json> silentlyGrantedPermissions() {
  return {named("pointer-lock"),         named("keyboard-lock"),      named("fullscreen"),
          named("screen-wake-lock"),     named("persistent-storage"), named("storage-access"),
          named("local-network-access"), named("loopback-network")};
}

const char* permissionDelegationLimit() {
  return "Permissions-Policy: camera=(self), microphone=(self), geolocation=(self), "
         "midi=(self), clipboard-read=(self), clipboard-write=(self), local-fonts=(self), "
         "window-management=(self), display-capture=(self), accelerometer=(self), "
         "gyroscope=(self), magnetometer=(self)";
}

std::string withPermissionDelegationLimit(const std::string& headerBlock) {
  for (const auto& [name, value] : parseHeaderBlock(headerBlock)) {
    if (equalsIgnoringCase(name, "Permissions-Policy")) return headerBlock;
  }
  std::string limited = headerBlock;
  if (!limited.empty() && limited.back() != '\n') limited += '\n';
  return limited + permissionDelegationLimit();
}

}  // namespace tavrelle::chromium
