#include "app/AppConfig.h"

#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace tavrelle {
namespace {

using ::testing::HasSubstr;

AppConfig Parse(std::string_view text) {
  AppConfig config;
  ParsePackageJson(text, config);
  return config;
}

// The short text of a failure that ParsePackageJson raises itself.
std::string FailureText(std::string_view text) {
  try {
    Parse(text);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no failure";
}

// The id of the JSON library's exception, or -1 when there was none.
template <typename LibraryError>
int LibraryErrorId(std::string_view text) {
  try {
    Parse(text);
  } catch (const LibraryError& error) {
    return error.id;
  }
  return -1;
}

TEST(ParsePackageJsonDefaults, OnlyANameGivesEveryDefault) {
  const AppConfig config = Parse(R"({"name": "game"})");
  EXPECT_EQ(config.name, "game");
  EXPECT_EQ(config.main, "index.html");
  EXPECT_EQ(config.title, "Tavrelle");
  EXPECT_EQ(config.width, 1024);
  EXPECT_EQ(config.height, 768);
  EXPECT_EQ(config.icon, "");
  EXPECT_TRUE(config.caption);
  EXPECT_TRUE(config.resizable);
  EXPECT_EQ(config.backgroundColor, (Rgb{0, 0, 0}));
  EXPECT_EQ(config.chromiumArgs, "");
  EXPECT_EQ(config.bundleType, BundleType::None);
  EXPECT_EQ(config.assetsPath, "");
  EXPECT_EQ(config.extensionsPath, "");
  EXPECT_EQ(config.contentMode, ContentMode::Bundle);
  EXPECT_EQ(config.distributionMode, DistributionMode::Evergreen);
  EXPECT_EQ(config.hostingMode, HostingMode::Windowed);
  EXPECT_FALSE(config.useCapture);
  EXPECT_TRUE(config.enableDevtools);
  EXPECT_TRUE(config.allowHostInputProcessing);
  EXPECT_EQ(config.installWebView2RequiredMessage, kDefaultInstallRuntimeMessage);
}

TEST(ParsePackageJsonDefaults, EveryMemberIsRead) {
  const AppConfig config = Parse(R"({
    "name": "game", "main": "start.html", "chromium-args": "--mute-audio",
    "window": {"title": "T", "width": 640, "height": 480, "icon": "icon.png",
               "caption": false, "resizable": false, "background-color": [1, 2, 3]},
    "bundle": {"type": "single-file", "assets-path": "a.zxab", "extensions-path": "ext"},
    "settings": {"distribution-mode": "fixed", "hosting-mode": "window-to-visual",
                 "use-capture": true, "content-mode": "remote", "enable-devtools": false,
                 "allow-host-input-processing": false},
    "messages": {"install-webview2-required": "get a browser"},
    "unknown": [1, 2]})");
  EXPECT_EQ(config.main, "start.html");
  EXPECT_EQ(config.chromiumArgs, "--mute-audio");
  EXPECT_EQ(config.title, "T");
  EXPECT_EQ(config.width, 640);
  EXPECT_EQ(config.height, 480);
  EXPECT_EQ(config.icon, "icon.png");
  EXPECT_FALSE(config.caption);
  EXPECT_FALSE(config.resizable);
  EXPECT_EQ(config.backgroundColor, (Rgb{1, 2, 3}));
  EXPECT_EQ(config.bundleType, BundleType::SingleFile);
  EXPECT_EQ(config.assetsPath, "a.zxab");
  EXPECT_EQ(config.extensionsPath, "ext");
  EXPECT_EQ(config.distributionMode, DistributionMode::Fixed);
  EXPECT_EQ(config.hostingMode, HostingMode::WindowToVisual);
  EXPECT_TRUE(config.useCapture);
  EXPECT_EQ(config.contentMode, ContentMode::Remote);
  EXPECT_FALSE(config.enableDevtools);
  EXPECT_FALSE(config.allowHostInputProcessing);
  EXPECT_EQ(config.installWebView2RequiredMessage, "get a browser");
}

TEST(ParsePackageJsonDefaults, WrongTypesTakeTheirDefaults) {
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
}

TEST(ParsePackageJsonDefaults, AssetBundleWithoutPathHasAnEmptyPath) {
  const AppConfig config = Parse(R"({"name": "g", "bundle": {"type": "asset-bundle"}})");
  EXPECT_EQ(config.bundleType, BundleType::AssetBundle);
  EXPECT_EQ(config.assetsPath, "");
}

TEST(ParsePackageJsonName, MissingEmptyOrNonStringNamesFail) {
  EXPECT_EQ(FailureText(R"({})"), "invalid name");
  EXPECT_EQ(FailureText(R"({"name": ""})"), "invalid name");
  EXPECT_EQ(FailureText(R"({"name": 7})"), "invalid name");
}

TEST(ParsePackageJsonName, RootsThatAreNotObjectsFail) {
  EXPECT_EQ(FailureText("null"), "invalid name");
  EXPECT_EQ(FailureText(R"([{"name": "g"}])"), "invalid name");
  EXPECT_EQ(FailureText("42"), "invalid name");
  EXPECT_EQ(FailureText(R"("name")"), "invalid name");
}

TEST(ParsePackageJsonText, MalformedJsonFailsWithTheLibrarysParseError) {
  EXPECT_EQ(LibraryErrorId<nlohmann::json::parse_error>(R"({"name": "g",})"), 101);
  EXPECT_EQ(LibraryErrorId<nlohmann::json::parse_error>("{\"name\": \"g\"} // c"), 101);
  EXPECT_EQ(LibraryErrorId<nlohmann::json::parse_error>(""), 101);
}

TEST(ParsePackageJsonText, NumbersBeyondDoubleRangeFailWithTheLibrarysOutOfRange406) {
  EXPECT_EQ(LibraryErrorId<nlohmann::json::out_of_range>(R"({"name": "g", "x": 1e999})"), 406);
}

TEST(ParsePackageJsonText, AZeroByteEndsTheText) {
  using namespace std::string_literals;
  EXPECT_EQ(Parse("{\"name\": \"g\"}\0garbage"s).name, "g");
  EXPECT_EQ(LibraryErrorId<nlohmann::json::parse_error>("{\"name\": \0\"g\"}"s), 101);
}

TEST(ParsePackageJsonWindow, WidthConversions) {
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"width": 800.9}})").width, 800);
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"width": -5}})").width, -5);
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"width": true}})").width, 1024);
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"width": "800"}})").width, 1024);
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"height": 4294967297}})").height, 1);
}

TEST(ParsePackageJsonWindow, BackgroundColorComponents) {
  const auto color = [](std::string_view array) {
    return Parse(R"({"name": "g", "window": {"background-color": )" + std::string(array) + "}}")
        .backgroundColor;
  };
  EXPECT_EQ(color("[255, 128, 0]"), (Rgb{255, 128, 0}));
  EXPECT_EQ(color("[300, 256, -1]"), (Rgb{44, 0, 255}));
  EXPECT_EQ(color("[1.9, -1.5, 300.7]"), (Rgb{1, 255, 44}));
  EXPECT_EQ(color("[true, false, 18446744073709551615]"), (Rgb{1, 0, 255}));
  EXPECT_EQ(color("[1e300, -1e300, 1e300]"), (Rgb{0, 0, 0}));  // 10^300 is a multiple of 256
  EXPECT_EQ(color("[1, 2, 3, \"ignored\"]"), (Rgb{1, 2, 3}));
}

TEST(ParsePackageJsonWindow, BackgroundColorThatIsNotAnArrayIsIgnored) {
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"background-color": "#ff0000"}})").backgroundColor,
            (Rgb{0, 0, 0}));
  EXPECT_EQ(Parse(R"({"name": "g", "window": {"background-color": {"0": 1}}})").backgroundColor,
            (Rgb{0, 0, 0}));
}

TEST(ParsePackageJsonWindow, ShortBackgroundColorFailsWithOutOfRange401) {
  const std::string text = R"({"name": "g", "window": {"background-color": [1, 2]}})";
  EXPECT_EQ(LibraryErrorId<nlohmann::json::out_of_range>(text), 401);
  try {
    Parse(text);
  } catch (const nlohmann::json::out_of_range& error) {
    EXPECT_THAT(error.what(), HasSubstr("array index 2 is out of range"));
  }
  EXPECT_EQ(LibraryErrorId<nlohmann::json::out_of_range>(
                R"({"name": "g", "window": {"background-color": []}})"),
            401);
}

TEST(ParsePackageJsonWindow, NonNumericBackgroundColorFailsWithTypeError302) {
  EXPECT_EQ(LibraryErrorId<nlohmann::json::type_error>(
                R"({"name": "g", "window": {"background-color": [1, "2", 3]}})"),
            302);
  EXPECT_EQ(LibraryErrorId<nlohmann::json::type_error>(
                R"({"name": "g", "window": {"background-color": [null, 2, 3]}})"),
            302);
  EXPECT_EQ(LibraryErrorId<nlohmann::json::type_error>(
                R"({"name": "g", "window": {"background-color": [1, 2, [3]]}})"),
            302);
}

TEST(ParsePackageJsonModes, EveryTableTextMaps) {
  const auto hosting = [](std::string_view mode) {
    return Parse(R"({"name": "g", "settings": {"hosting-mode": ")" + std::string(mode) + "\"}}")
        .hostingMode;
  };
  EXPECT_EQ(hosting("windowed"), HostingMode::Windowed);
  EXPECT_EQ(hosting("window-to-visual"), HostingMode::WindowToVisual);
  EXPECT_EQ(hosting("visual"), HostingMode::Visual);
  EXPECT_EQ(Parse(R"({"name": "g", "bundle": {"type": "none"}})").bundleType, BundleType::None);
  EXPECT_EQ(Parse(R"({"name": "g", "settings": {"content-mode": "bundle"}})").contentMode,
            ContentMode::Bundle);
  EXPECT_EQ(
      Parse(R"({"name": "g", "settings": {"distribution-mode": "evergreen"}})").distributionMode,
      DistributionMode::Evergreen);
}

TEST(ParsePackageJsonModes, TextsOutsideTheTablesFail) {
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"hosting-mode": "Visual"}})"),
            "invalid hosting mode");
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"hosting-mode": "visual "}})"),
            "invalid hosting mode");
  EXPECT_EQ(FailureText(R"({"name": "g", "bundle": {"type": ""}})"), "invalid bundle type");
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"distribution-mode": "fixed\u0000"}})"),
            "invalid distribution mode");
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"content-mode": "remot"}})"),
            "invalid content mode");
}

TEST(ParsePackageJsonModes, FailuresComeInStepOrder) {
  // The background colour is read before the bundle, and the distribution mode
  // before the hosting and content modes.
  EXPECT_EQ(LibraryErrorId<nlohmann::json::type_error>(
                R"({"name": "g", "window": {"background-color": ["x"]}, "bundle": {"type": "x"}})"),
            302);
  EXPECT_EQ(FailureText(R"({"name": "g", "bundle": {"type": "x"},
                            "settings": {"distribution-mode": "x"}})"),
            "invalid bundle type");
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"content-mode": "x",
                            "hosting-mode": "x", "distribution-mode": "x"}})"),
            "invalid distribution mode");
  EXPECT_EQ(FailureText(R"({"name": "g", "settings": {"content-mode": "x", "hosting-mode": "x"}})"),
            "invalid hosting mode");
}

}  // namespace
}  // namespace tavrelle
