#include "app/AppConfig.h"

#include <array>
#include <stdexcept>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

#include "common/JsonReaders.h"
#include "common/TruncatedBits.h"

namespace tavrelle {

namespace {

using nlohmann::json;

template <typename Enum, size_t Count>
using ModeTable = std::array<std::pair<std::string_view, Enum>, Count>;

constexpr ModeTable<BundleType, 3> kBundleTypes{{
    {"none", BundleType::None},
    {"asset-bundle", BundleType::AssetBundle},
    {"single-file", BundleType::SingleFile},
}};
constexpr ModeTable<ContentMode, 2> kContentModes{{
    {"bundle", ContentMode::Bundle},
    {"remote", ContentMode::Remote},
}};
constexpr ModeTable<DistributionMode, 2> kDistributionModes{{
    {"evergreen", DistributionMode::Evergreen},
    {"fixed", DistributionMode::Fixed},
}};
constexpr ModeTable<HostingMode, 3> kHostingModes{{
    {"windowed", HostingMode::Windowed},
    {"window-to-visual", HostingMode::WindowToVisual},
    {"visual", HostingMode::Visual},
}};

// Whole-text, byte-exact match: no case folding, no trimming.
template <typename Enum, size_t Count>
Enum ParseMode(const ModeTable<Enum, Count>& table, const std::string& text, const char* failure) {
  for (const auto& [modeText, mode] : table) {
    if (text == modeText) {
      return mode;
    }
  }
  throw std::runtime_error(failure);
}

// Missing members count as null, which every reader treats as "not an object".
const json& MemberOrNull(const json& root, const char* key) {
  static const json kNull;
  const auto member = root.find(key);
  return member == root.end() ? kNull : *member;
}

// Integers keep their low 8 bits, floating values are truncated first, booleans give
// 0 or 1. Anything else throws the JSON library's type error 302.
uint8_t ColorComponent(const json& element) {
  if (element.is_number_float()) {
    return static_cast<uint8_t>(LowBitsOfTruncated(element.get<double>()));
  }
  return element.get<uint8_t>();
}

Rgb ReadBackgroundColor(const json& window) {
  const json& color = MemberOrNull(window, "background-color");
  if (!color.is_array()) {
    return Rgb{};
  }
  // at() throws the library's out-of-range error 401 for the first missing element.
  const uint8_t red = ColorComponent(color.at(0));
  const uint8_t green = ColorComponent(color.at(1));
  const uint8_t blue = ColorComponent(color.at(2));
  return Rgb{red, green, blue};
}

void ReadWindow(const json& window, AppConfig& config) {
  config.title = GetStringOr(window, "title", "Tavrelle");
  config.width = GetIntOr(window, "width", 1024);
  config.height = GetIntOr(window, "height", 768);
  config.icon = GetStringOr(window, "icon", "");
  config.caption = GetBoolOr(window, "caption", true);
  config.resizable = GetBoolOr(window, "resizable", true);
  config.backgroundColor = ReadBackgroundColor(window);
}

void ReadBundle(const json& bundle, AppConfig& config) {
  config.bundleType =
      ParseMode(kBundleTypes, GetStringOr(bundle, "type", "none"), "invalid bundle type");
  config.assetsPath = GetStringOr(bundle, "assets-path", "");
  config.extensionsPath = GetStringOr(bundle, "extensions-path", "");
}

void ReadSettings(const json& settings, AppConfig& config) {
  config.distributionMode =
      ParseMode(kDistributionModes, GetStringOr(settings, "distribution-mode", "evergreen"),
                "invalid distribution mode");
  config.hostingMode = ParseMode(kHostingModes, GetStringOr(settings, "hosting-mode", "windowed"),
                                 "invalid hosting mode");
  config.useCapture = GetBoolOr(settings, "use-capture", false);
  config.contentMode = ParseMode(kContentModes, GetStringOr(settings, "content-mode", "bundle"),
                                 "invalid content mode");
  config.enableDevtools = GetBoolOr(settings, "enable-devtools", true);
  config.allowHostInputProcessing = GetBoolOr(settings, "allow-host-input-processing", true);
}

// The name becomes one folder under the player's data folder, where start-up also
// empties the unpacked extension folder: it may not lead anywhere else.
bool IsOneFolderName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of("/\\") == std::string::npos;
}

}  // namespace

void ParsePackageJson(std::string_view text, AppConfig& config) {
  // The text is handed over as a zero-terminated string: a zero byte ends it.
  const std::string_view document = text.substr(0, text.find('\0'));
  const json root = json::parse(document);

  config.name = GetStringOr(root, "name", "");
  if (!IsOneFolderName(config.name)) {
    throw std::runtime_error("invalid name");
  }
  config.main = GetStringOr(root, "main", "index.html");
  ReadWindow(MemberOrNull(root, "window"), config);
  config.chromiumArgs = GetStringOr(root, "chromium-args", "");
  ReadBundle(MemberOrNull(root, "bundle"), config);
  ReadSettings(MemberOrNull(root, "settings"), config);
  config.installWebView2RequiredMessage =
      GetStringOr(MemberOrNull(root, "messages"), "install-webview2-required",
                  std::string(kDefaultInstallRuntimeMessage));
}

}  // namespace tavrelle
