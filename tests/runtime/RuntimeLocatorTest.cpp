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

TEST(RuntimeLocatorTest, FixedFolderIsSearchedInNameOrderAndNeverFallsBack) {
  FakeLookup beside({"/opt/game/webview2/chrome"}, "/usr/bin");
  EXPECT_EQ(locateBrowserExecutable(std::string("webview2"), "/opt/game/", beside),
            "/opt/game/webview2/chrome");
  FakeLookup absolute({"/srv/edge/msedge"}, "");
  EXPECT_EQ(locateBrowserExecutable(std::string("/srv/edge/"), "/opt/game/", absolute),
            "/srv/edge/msedge");
  FakeLookup order({"/f/chromium", "/f/chrome-wrapper"}, "");
  EXPECT_EQ(locateBrowserExecutable(std::string("/f"), "/", order), "/f/chromium");
  EXPECT_EQ(order.asked.front(), "/f/chrome");
  FakeLookup installed({"/usr/bin/chromium"}, "/usr/bin");
  EXPECT_FALSE(locateBrowserExecutable(std::string("webview2"), "/opt/game", installed));
  EXPECT_FALSE(locateBrowserExecutable(std::string(""), "/opt/game", installed));
}

TEST(RuntimeLocatorTest, InstalledBrowsersByNameFirstThenPathOrder) {
  FakeLookup lookup({"/usr/local/bin/google-chrome", "/usr/bin/chromium"},
                    "/usr/local/bin:/usr/bin");
  EXPECT_EQ(locateBrowserExecutable(std::nullopt, "/opt/game", lookup), "/usr/bin/chromium");
  for (auto name : installedBrowserNames()) {
    FakeLookup only({"/bin/" + std::string(name)}, "/bin");
    EXPECT_EQ(locateBrowserExecutable(std::nullopt, "/", only), "/bin/" + std::string(name));
  }
  FakeLookup relative({"./chromium", "bin/chromium", "chromium"}, ":.:bin::");
  EXPECT_FALSE(locateBrowserExecutable(std::nullopt, "/", relative));
  EXPECT_TRUE(relative.asked.empty());  // relative and empty entries are skipped
  EXPECT_FALSE(locateBrowserExecutable(std::nullopt, "/", FakeLookup({}, "/usr/bin:/bin")));
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
