#include "platform/chromium/BrowserCommandLine.h"

#include <cstdio>
#include <string_view>

#include "platform/chromium/ChromiumQuirks.h"
#include "platform/chromium/CommandLineWords.h"

namespace tavrelle::chromium {

namespace {

// Switches the host must own: a TCP debugging port would let any local process take
// over the page, and the profile folder is the host's choice.
bool isReservedSwitch(std::string_view word) {
  for (std::string_view reserved :
       {"--remote-debugging-port", "--remote-debugging-address", "--remote-debugging-pipe",
        "--remote-debugging-io-pipes", "--user-data-dir"}) {
    if (word == reserved || (word.starts_with(reserved) && word[reserved.size()] == '='))
      return true;
  }
  return false;
}

// Chromium honours only the last of repeated feature switches: merge them into one.
bool mergeFeatureList(std::vector<std::string>& args, const std::string& word) {
  for (std::string_view name : {"--disable-features=", "--enable-features="}) {
    if (!word.starts_with(name)) continue;
    for (auto& existing : args) {
      if (existing.starts_with(name)) {
        existing.push_back(',');
        existing.append(word, name.size());
        return true;
      }
    }
  }
  return false;
}

void addSwitch(std::vector<std::string>& args, std::string word) {
  if (!mergeFeatureList(args, word)) args.push_back(std::move(word));
}

void appendAdditional(std::vector<std::string>& args, const std::string& text) {
  for (auto& word : splitCommandLineWords(text)) {
    if (isReservedSwitch(word)) {
      std::fprintf(stderr, "tavrelle: ignored the browser argument %s\n", word.c_str());
      continue;
    }
    addSwitch(args, std::move(word));
  }
}

}  // namespace

std::vector<std::string> browserCommandLine(const BrowserLaunchSettings& settings) {
  std::vector<std::string> args{settings.executable, "--remote-debugging-pipe",
                                "--user-data-dir=" + settings.userDataFolder};
  for (auto& sw : quirks::noNetworkSwitches(settings.appHostPort)) args.push_back(std::move(sw));
  for (auto& sw : quirks::noWarningBarSwitches()) args.push_back(std::move(sw));
  addSwitch(args, "--disable-features=" + std::string(quirks::kAudioServiceOutOfProcessFeature));
  for (const char* sw : {"--password-store=basic", "--autoplay-policy=no-user-gesture-required",
                         "--hide-crash-restore-bubble", "--noerrdialogs", "--disable-pinch",
                         "--overscroll-history-navigation=0"}) {
    args.emplace_back(sw);
  }
  if (settings.smallSharedMemory) args.emplace_back("--disable-dev-shm-usage");
  if (settings.runningAsRoot) {
    for (auto& sw : quirks::runningAsRootSwitches()) args.push_back(std::move(sw));
  }
  std::string size =
      std::to_string(settings.windowWidth) + "," + std::to_string(settings.windowHeight);
  std::string blankPage =
      settings.appHostPort != 0
          ? quirks::heldLaunchPageUrl()
          : quirks::blankAppPageUrl(settings.background.red, settings.background.green,
                                    settings.background.blue);
  if (settings.headless) {
    args.emplace_back("--headless=new");
    args.push_back("--window-size=" + size);
  } else {
    args.emplace_back("--ozone-platform=x11");
    args.push_back("--window-size=" + size);
    args.emplace_back("--window-position=-3000,-3000");
    args.push_back("--app=" + blankPage);
  }
  appendAdditional(args, settings.additionalArguments);
  // Headless has no app window: its first tab shows the blank page.
  if (settings.headless) args.push_back(blankPage);
  return args;
}

}  // namespace tavrelle::chromium
