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
      {" \t ", {}},
      {R"(--title="My Game" '--x=a b')", {"--title=My Game", "--x=a b"}},
      {R"(a"b c"d)", {"ab cd"}},
      {R"("" '')", {"", ""}},
      {R"(a\ b)", {"a b"}},
      {R"("say \"hi\" \n")", {R"(say "hi" \n)"}},
      {R"('no \escape')", {R"(no \escape)"}},
      {R"(--a "b c)", {"--a", "b c"}},
      {"--a 'b", {"--a", "b"}},
      {"trailing\\", {"trailing"}},
      {"$HOME `id` *", {"$HOME", "`id`", "*"}}};
  for (const auto& [line, words] : cases) EXPECT_EQ(splitCommandLineWords(line), words) << line;
}

bool has(const Words& args, const std::string& arg) {
  return std::find(args.begin(), args.end(), arg) != args.end();
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
  for (const char* expected :
       {"--remote-debugging-pipe", "--user-data-dir=/home/p/.local/share/Game",
        "--ozone-platform=x11", "--window-size=1280,720", "--window-position=-3000,-3000",
        "--no-first-run", "--autoplay-policy=no-user-gesture-required", "--test-type"}) {
    EXPECT_TRUE(has(args, expected)) << expected;
  }
  auto app = std::find_if(args.begin(), args.end(), [](const std::string& a) {
    return a.starts_with("--app=data:text/html,");
  });
  ASSERT_NE(app, args.end());
  EXPECT_NE(app->find("%23ff0010"), std::string::npos);
  EXPECT_FALSE(has(args, "--headless=new"));
  EXPECT_FALSE(has(args, "--no-sandbox"));
  EXPECT_FALSE(has(args, "--disable-dev-shm-usage"));
}

TEST(BrowserCommandLineTest, HeadlessHasNoWindowSwitchesAndOnlyRootOrSmallSharedMemoryAddTheirs) {
  auto settings = windowedSettings();
  settings.headless = true;
  settings.runningAsRoot = true;
  settings.smallSharedMemory = true;
  auto args = browserCommandLine(settings);
  EXPECT_TRUE(has(args, "--headless=new"));
  EXPECT_FALSE(has(args, "--ozone-platform=x11"));
  EXPECT_FALSE(has(args, "--window-position=-3000,-3000"));
  EXPECT_TRUE(args.back().starts_with("data:text/html,"));
  EXPECT_TRUE(has(args, "--no-sandbox"));
  EXPECT_TRUE(has(args, "--disable-dev-shm-usage"));
}

// Extra arguments come last, but cannot open a port, move the profile or drop features.
TEST(BrowserCommandLineTest, AdditionalArgumentsComeLastAndCannotOverrideTheHosts) {
  auto settings = windowedSettings();
  settings.additionalArguments =
      "--remote-debugging-port=9222 --user-data-dir=/tmp/x --remote-debugging-address=0.0.0.0 "
      "--remote-debugging-portal --disable-features=Translate --enable-features=Vulkan "
      R"(--lang=fr "--user-agent=My Agent")";
  auto args = browserCommandLine(settings);
  ASSERT_GE(args.size(), 2u);
  EXPECT_EQ((Words{args.end() - 2, args.end()}), (Words{"--lang=fr", "--user-agent=My Agent"}));
  EXPECT_FALSE(has(args, "--remote-debugging-port=9222"));
  EXPECT_FALSE(has(args, "--user-data-dir=/tmp/x"));
  EXPECT_FALSE(has(args, "--remote-debugging-address=0.0.0.0"));
  EXPECT_TRUE(has(args, "--remote-debugging-portal"));  // only whole switch names are reserved
  auto disabled = std::count_if(args.begin(), args.end(), [](const std::string& a) {
    return a.starts_with("--disable-features=");
  });
  EXPECT_EQ(disabled, 1);
  EXPECT_TRUE(has(args, "--disable-features=MediaRouter,NetworkTimeServiceQuerying,Translate"));
  EXPECT_TRUE(has(args, "--enable-features=Vulkan"));
}

TEST(BrowserCommandLineTest, WithAHeldPortTheAppWindowOpensOnTheLaunchPageOfTheAppOrigin) {
  auto settings = windowedSettings();
  settings.appHostPort = 41234;
  auto args = browserCommandLine(settings);
  EXPECT_TRUE(has(args, "--app=" + quirks::heldLaunchPageUrl()));
  EXPECT_TRUE(quirks::isBlankAppPage(quirks::heldLaunchPageUrl()));
  EXPECT_FALSE(quirks::isBlankAppPage("https://tavrelle.localhost/"));
  auto rules = std::find_if(args.begin(), args.end(), [](const std::string& arg) {
    return arg.starts_with("--host-resolver-rules=");
  });
  ASSERT_NE(rules, args.end());
  EXPECT_NE(rules->find("MAP tavrelle.localhost 127.0.0.1:41234"), std::string::npos);
  EXPECT_EQ(rules->find("tavrelle.localhost ~NOTFOUND"), std::string::npos);
  settings.headless = true;
  EXPECT_EQ(browserCommandLine(settings).back(), quirks::heldLaunchPageUrl());
}

}  // namespace
}  // namespace tavrelle::chromium
