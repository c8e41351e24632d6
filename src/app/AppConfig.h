#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/Geometry.h"

namespace tavrelle {

// The numeric values are part of the contract: other components compare them.
enum class BundleType : int32_t { None = 0, AssetBundle = 1, SingleFile = 2 };
enum class ContentMode : int32_t { Bundle = 0, Remote = 1 };
enum class DistributionMode : int32_t { Evergreen = 0, Fixed = 1 };
enum class HostingMode : int32_t { Windowed = 0, WindowToVisual = 1, Visual = 2 };

inline constexpr std::string_view kDefaultInstallRuntimeMessage =
    "This app requires a Chromium-based web browser (Chromium, Google Chrome or Microsoft Edge). "
    "Please download and install it in order to use this app. When you press OK, the web page "
    "where it can be downloaded will open.";

// The application's configuration from "package.json": filled once at start-up,
// read-only afterwards.
struct AppConfig {
  std::string name;
  std::string main = "index.html";
  std::string title = "Tavrelle";
  int32_t width = 1024;
  int32_t height = 768;
  std::string icon;
  bool caption = true;
  bool resizable = true;
  Rgb backgroundColor;
  std::string chromiumArgs;
  BundleType bundleType = BundleType::None;
  std::string assetsPath;
  std::string extensionsPath;
  ContentMode contentMode = ContentMode::Bundle;
  DistributionMode distributionMode = DistributionMode::Evergreen;
  HostingMode hostingMode = HostingMode::Windowed;
  bool enableDevtools = true;
  bool allowHostInputProcessing = true;
  bool useCapture = false;
  std::string installWebView2RequiredMessage{kDefaultInstallRuntimeMessage};
};

// Fills `config` from the text of "package.json" (parsing stops at a zero byte).
// Throws on failure (malformed JSON, "invalid name", "invalid bundle type",
// "invalid distribution mode", "invalid hosting mode", "invalid content mode",
// or the JSON library's type error 302 / out-of-range error 401 for a bad
// "background-color"); `config` must then be discarded.
void ParsePackageJson(std::string_view text, AppConfig& config);

}  // namespace tavrelle
