#include "app/AppConfig.h"

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavrelle {
namespace {

using namespace std::string_literals;
using nlohmann::json;

AppConfig Parse(std::string_view text) {
  AppConfig config;
  ParsePackageJson(text, config);
  return config;
}

// "ok", the text of a failure ParsePackageJson raises itself, or "json" for the JSON
// library's (start-up shows the same message for both).
std::string Outcome(std::string_view text) {
  try {
    Parse(text);
  } catch (const json::exception&) {
    return "json";
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "ok";
}

Rgb Color(std::string_view array) {
  return Parse(R"({"name": "g", "window": {"background-color": )" + std::string(array) + "}}")
      .backgroundColor;
}

// Members that start-up's tests do not read back through a whole start.
TEST(ParsePackageJson, EveryMemberIsRead) {
  const AppConfig config = Parse(R"({
    "name": "game", "chromium-args": "--mute-audio", "window": {"width": 640.9},
    "bundle": {"extensions-path": "ext"},
    "settings": {"hosting-mode": "window-to-visual", "use-capture": true,
                 "enable-devtools": false, "allow-host-input-processing": false},
    "unknown": [1, 2]})");
  EXPECT_EQ(config.chromiumArgs, "--mute-audio");
  EXPECT_EQ(config.width, 640);
  EXPECT_EQ(config.extensionsPath, "ext");
  EXPECT_EQ(config.hostingMode, HostingMode::WindowToVisual);
  EXPECT_TRUE(config.useCapture);
  EXPECT_FALSE(config.enableDevtools);
  EXPECT_FALSE(config.allowHostInputProcessing);
}

TEST(ParsePackageJson, WrongTypesTakeTheirDefaults) {
  const AppConfig config = Parse(
      R"({"name": "g", "main": 5, "window": "big", "bundle": [], "settings": {"hosting-mode": 2,
          "use-capture": 1}, "messages": {"install-webview2-required": null}})");
  EXPECT_EQ(config.main, "index.html");
  EXPECT_EQ(config.title, "Tavrelle");
  EXPECT_EQ(config.width, 1024);
  EXPECT_EQ(config.bundleType, BundleType::None);
  EXPECT_EQ(config.hostingMode, HostingMode::Windowed);
  EXPECT_FALSE(config.useCapture);
  EXPECT_EQ(config.installWebView2RequiredMessage, kDefaultInstallRuntimeMessage);
  const AppConfig bundle = Parse(R"({"name": "g", "bundle": {"type": "asset-bundle"}})");
  EXPECT_EQ(bundle.bundleType, BundleType::AssetBundle);
  EXPECT_EQ(bundle.assetsPath, "");
}

// The texts EveryMemberIsRead does not use; unknown texts are failures (below).
TEST(ParsePackageJson, EveryModeTextMaps) {
  const AppConfig config = Parse(R"({"name": "g", "bundle": {"type": "none"}, "settings": {
      "hosting-mode": "visual", "content-mode": "bundle", "distribution-mode": "evergreen"}})");
  EXPECT_EQ(config.hostingMode, HostingMode::Visual);
  EXPECT_EQ(config.bundleType, BundleType::None);
  EXPECT_EQ(config.contentMode, ContentMode::Bundle);
  EXPECT_EQ(config.distributionMode, DistributionMode::Evergreen);
  EXPECT_EQ(Parse(R"({"name": "g", "settings": {"hosting-mode": "windowed"}})").hostingMode,
            HostingMode::Windowed);
}

TEST(ParsePackageJson, BackgroundColorComponentsWrapToBytes) {
  EXPECT_EQ(Color("[300, 256, -1]"), (Rgb{44, 0, 255}));
  EXPECT_EQ(Color("[1.9, -1.5, 300.7]"), (Rgb{1, 255, 44}));
  EXPECT_EQ(Color("[true, false, 18446744073709551615]"), (Rgb{1, 0, 255}));
  EXPECT_EQ(Color(R"("#ff0000")"), (Rgb{0, 0, 0}));  // not an array: ignored
}

TEST(ParsePackageJson, FailuresAndTheirKinds) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {R"({})", "invalid name"},
      {R"({"name": ""})", "invalid name"},
      {R"({"name": ".."})", "invalid name"},
      {R"({"name": "../../Documents"})", "invalid name"},
      {R"({"name": "a\\b"})", "invalid name"},
      {R"({"name": "My Game..."})", "ok"},
      {R"([{"name": "g"}])", "invalid name"},
      {R"({"name": "g",})", "json"},
      {"{\"name\": \"g\"} // c", "json"},
      {"{\"name\": \0\"g\"}"s, "json"},
      {"{\"name\": \"g\"}\0garbage"s, "ok"},  // a zero byte ends the text
      {R"({"name": "g", "x": 1e999})", "json"},
      {R"({"name": "g", "window": {"background-color": [1, "2", 3]}})", "json"},
      {R"({"name": "g", "settings": {"hosting-mode": "Visual"}})", "invalid hosting mode"},
      {R"({"name": "g", "bundle": {"type": ""}})", "invalid bundle type"},
      {R"({"name": "g", "settings": {"distribution-mode": "fixed\u0000"}})",
       "invalid distribution mode"},
      {R"({"name": "g", "settings": {"content-mode": "remot"}})", "invalid content mode"},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(Outcome(text), expected) << text;
  }
}

}  // namespace
}  // namespace tavrelle
