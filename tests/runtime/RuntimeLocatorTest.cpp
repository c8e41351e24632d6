// Finding the browser executable: a fixed runtime folder, or installed browsers on PATH.

#include <gtest/gtest.h>

#include <set>

#include "runtime/RuntimeLocator.h"

namespace tavrelle::runtime {
namespace {

class FakeLookup final : public ExecutableLookup {
 public:
  FakeLookup(std::set<std::string> executables, std::string path)
      : executables_(std::move(executables)), path_(std::move(path)) {}
  [[nodiscard]] bool isExecutableFile(const std::string& path) const override {
    asked.push_back(path);
    return executables_.contains(path);
  }
  [[nodiscard]] std::string searchPath() const override { return path_; }
  mutable std::vector<std::string> asked;

 private:
  std::set<std::string> executables_;
  std::string path_;
};

// ----- Fixed runtime folder -----

TEST(RuntimeLocatorTest, RelativeFixedFolderIsFoundBesideTheApp) {
  FakeLookup lookup({"/opt/game/webview2/chrome"}, "/usr/bin");
  EXPECT_EQ(locateBrowserExecutable(std::string("webview2"), "/opt/game/", lookup), "/opt/game/webview2/chrome");
}

TEST(RuntimeLocatorTest, AbsoluteFixedFolderIsTakenAsIs) {
  FakeLookup lookup({"/srv/edge/msedge"}, "");
  EXPECT_EQ(locateBrowserExecutable(std::string("/srv/edge/"), "/opt/game/", lookup), "/srv/edge/msedge");
}

TEST(RuntimeLocatorTest, FixedFolderNamesAreTriedInOrder) {
  FakeLookup lookup({"/f/chromium", "/f/chrome-wrapper"}, "");
  EXPECT_EQ(locateBrowserExecutable(std::string("/f"), "/", lookup), "/f/chromium");
  EXPECT_EQ(lookup.asked.front(), "/f/chrome");
}

TEST(RuntimeLocatorTest, EmptyOrMissingFixedFolderNeverFallsBackToInstalledBrowsers) {
  FakeLookup lookup({"/usr/bin/chromium"}, "/usr/bin");
  EXPECT_FALSE(locateBrowserExecutable(std::string("webview2"), "/opt/game", lookup));
  EXPECT_FALSE(locateBrowserExecutable(std::string(""), "/opt/game", lookup));
}

// ----- Installed browsers -----

TEST(RuntimeLocatorTest, FirstNameWinsOverLaterNamesInEarlierFolders) {
  FakeLookup lookup({"/usr/local/bin/google-chrome", "/usr/bin/chromium"}, "/usr/local/bin:/usr/bin");
  EXPECT_EQ(locateBrowserExecutable(std::nullopt, "/opt/game", lookup), "/usr/bin/chromium");
}

TEST(RuntimeLocatorTest, EveryFamilyMemberIsFound) {
  for (auto name : installedBrowserNames()) {
    FakeLookup lookup({"/bin/" + std::string(name)}, "/bin");
    EXPECT_EQ(locateBrowserExecutable(std::nullopt, "/", lookup), "/bin/" + std::string(name));
  }
}

TEST(RuntimeLocatorTest, RelativeAndEmptyPathEntriesAreSkipped) {
  FakeLookup lookup({"./chromium", "bin/chromium", "chromium"}, ":.:bin::");
  EXPECT_FALSE(locateBrowserExecutable(std::nullopt, "/", lookup));
  EXPECT_TRUE(lookup.asked.empty());
}

TEST(RuntimeLocatorTest, NothingInstalledIsNothing) {
  FakeLookup lookup({}, "/usr/bin:/bin");
  EXPECT_FALSE(locateBrowserExecutable(std::nullopt, "/", lookup));
  EXPECT_FALSE(locateBrowserExecutable(std::nullopt, "/", FakeLookup({}, "")));
}

TEST(JoinPathTest, ExactlyOneSlash) {
  EXPECT_EQ(joinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(joinPath("/a//", "/b"), "/a/b");
  EXPECT_EQ(joinPath("/", "b"), "/b");
  EXPECT_EQ(joinPath("", "b"), "b");
}

}  // namespace
}  // namespace tavrelle::runtime
