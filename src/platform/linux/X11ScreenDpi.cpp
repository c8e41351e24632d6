#include "platform/linux/X11ScreenDpi.h"

#include <X11/Xresource.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace tavrelle::linux_platform {

namespace {
constexpr int kDefaultDpi = 96;
constexpr double kMaxDpi = 2000;
}  // namespace

std::optional<int> ParseDpiResource(std::string_view value) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  double dpi = 0;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), dpi);
  if (error != std::errc() || end != value.data() + value.size()) return std::nullopt;
  if (!std::isfinite(dpi) || dpi < 1 || dpi > kMaxDpi) return std::nullopt;
  return static_cast<int>(std::lround(dpi));
}

int ReadScreenDpi(Display* display) {
  const char* resources = XResourceManagerString(display);
  if (resources == nullptr) return kDefaultDpi;
  XrmInitialize();
  XrmDatabase database = XrmGetStringDatabase(resources);
  if (database == nullptr) return kDefaultDpi;
  int dpi = kDefaultDpi;
  char* type = nullptr;
  XrmValue value{};
  if (XrmGetResource(database, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr != nullptr) {
    std::string text(value.addr, strnlen(value.addr, value.size));
    dpi = ParseDpiResource(text).value_or(kDefaultDpi);
  }
  XrmDestroyDatabase(database);
  return dpi;
}

}  // namespace tavrelle::linux_platform
