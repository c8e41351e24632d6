#include <gtest/gtest.h>

#include <algorithm>

#include "platform/chromium/BrowserCommandLine.h"
#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/CommandLineWords.h"

namespace tavrelle::chromium {
namespace {

using Words = std::vector<std::string>;

// Blanks separate words; quotes keep blanks and join with their neighbours; a
// backslash escapes outside single quotes; an open quote runs to the end; no expansion.
TEST(CommandLineWordsTest, SplitsLikeAShellWithoutExpansion) {
  const std::vector<std::pair<std::string, Words>> cases = {
      {"  --a  --b=1\t--c\n", {"--a", "--b=1", "--c"}},
      {"", {}},
      {R"(--title="My Game" '--x=a b')", {"--title=My Game", "--x=a b"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"("" '')", {"", ""}},
      {R"("say \"hi\" \n")", {R"(say "hi" \n)"}},
      {R"('no \escape')", {R"(no \escape)"}},
      {R"(--a "b c)", {"--a", "b c"}},
      {"trailing\\", {"trailing"}},
      {"$HOME `id` *", {"$HOME", "`id`", "*"}}};
  for (const auto& [line, words] : cases) EXPECT_EQ(splitCommandLineWords(line), words) << line;
}

// Every word of `present` is an argument and no word of `absent` is.
void ExpectArgs(const Words& args, const Words& present, const Words& absent = {}) {
  for (const auto& arg : present) EXPECT_EQ(std::ranges::count(args, arg), 1) << arg;
  for (const auto& arg : absent) EXPECT_EQ(std::ranges::count(args, arg), 0) << arg;
}

// The first argument starting with `prefix`; empty when there is none.
std::string ArgStartingWith(const Words& args, std::string_view prefix) {
  auto found = std::ranges::find_if(args, [&](const auto& arg) { return arg.starts_with(prefix); });
  return found == args.end() ? std::string() : *found;
}

BrowserLaunchSettings windowedSettings() {
  BrowserLaunchSettings settings;
  settings.executable = "/usr/bin/chromium";
  settings.userDataFolder = "/home/p/.local/share/Game";
  settings.windowWidth = 1280;
  settings.windowHeight = 720;
  settings.background = Rgb{255, 0, 16};
  return settings;
}

TEST(BrowserCommandLineTest, WindowedLaunchUsesThePipeAndAnOffscreenAppWindow) {
  auto args = browserCommandLine(windowedSettings());
  EXPECT_EQ(args.front(), "/usr/bin/chromium");
  ExpectArgs(args,
             {"--remote-debugging-pipe", "--user-data-dir=/home/p/.local/share/Game",
              "--ozone-platform=x11", "--window-size=1280,720", "--window-position=-3000,-3000",
              "--no-first-run", "--autoplay-policy=no-user-gesture-required", "--test-type"},
             {"--headless=new", "--no-sandbox", "--disable-dev-shm-usage"});
  EXPECT_NE(ArgStartingWith(args, "--app=data:text/html,").find("%23ff0010"), std::string::npos);
}

TEST(BrowserCommandLineTest, HeadlessHasNoWindowSwitchesAndOnlyRootOrSmallSharedMemoryAddTheirs) {
  auto settings = windowedSettings();
  settings.headless = true;
  settings.runningAsRoot = true;
  settings.smallSharedMemory = true;
  auto args = browserCommandLine(settings);
  ExpectArgs(args, {"--headless=new", "--no-sandbox", "--disable-dev-shm-usage"},
             {"--ozone-platform=x11", "--window-position=-3000,-3000"});
  EXPECT_TRUE(args.back().starts_with("data:text/html,"));
}

// Extra arguments come last, but cannot open a port, move the profile or drop features;
// only whole switch names are reserved.
TEST(BrowserCommandLineTest, AdditionalArgumentsComeLastAndCannotOverrideTheHosts) {
  auto settings = windowedSettings();
  settings.additionalArguments =
      "--remote-debugging-port=9222 --user-data-dir=/tmp/x --remote-debugging-address=0.0.0.0 "
      "--remote-debugging-portal --disable-features=Translate --enable-features=Vulkan "
      R"(--lang=fr "--user-agent=My Agent")";
  auto args = browserCommandLine(settings);
  ASSERT_GE(args.size(), 2u);
  EXPECT_EQ((Words{args.end() - 2, args.end()}), (Words{"--lang=fr", "--user-agent=My Agent"}));
  ExpectArgs(args,
             {"--remote-debugging-portal", "--enable-features=Vulkan",
              "--disable-features=MediaRouter,NetworkTimeServiceQuerying,AudioServiceOutOfProcess,"
              "Translate"},
             {"--remote-debugging-port=9222", "--user-data-dir=/tmp/x",
              "--remote-debugging-address=0.0.0.0", "--disable-features=Translate"});
  EXPECT_EQ(std::ranges::count_if(
                args, [](const auto& arg) { return arg.starts_with("--disable-features="); }),
            1);
}

TEST(BrowserCommandLineTest, WithAHeldPortTheAppWindowOpensOnTheLaunchPageOfTheAppOrigin) {
  auto settings = windowedSettings();
  settings.appHostPort = 41234;
  auto args = browserCommandLine(settings);
  ExpectArgs(args, {"--app=" + quirks::heldLaunchPageUrl()});
  EXPECT_TRUE(quirks::isBlankAppPage(quirks::heldLaunchPageUrl()));
  EXPECT_FALSE(quirks::isBlankAppPage("https://tavrelle.localhost/"));
  const std::string rules = ArgStartingWith(args, "--host-resolver-rules=");
  EXPECT_NE(rules.find("MAP tavrelle.localhost 127.0.0.1:41234"), std::string::npos);
  EXPECT_EQ(rules.find("tavrelle.localhost ~NOTFOUND"), std::string::npos);
  settings.headless = true;
  EXPECT_EQ(browserCommandLine(settings).back(), quirks::heldLaunchPageUrl());
}

}  // namespace
}  // namespace tavrelle::chromium
