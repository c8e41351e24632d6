#include "platform/linux/FolderRules.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Folders.h"

namespace tavrelle::linux_platform {
namespace {

TEST(FolderRules, XdgDataHomeWhenAbsolute) {
  EXPECT_EQ(LocalAppDataFolderFrom("/data/share", "/home/u", std::nullopt), "/data/share");
  EXPECT_EQ(LocalAppDataFolderFrom("/data/share//", "/home/u", std::nullopt), "/data/share");
}

TEST(FolderRules, RelativeOrEmptyXdgDataHomeIsIgnored) {
  EXPECT_EQ(LocalAppDataFolderFrom("relative/share", "/home/u", std::nullopt),
            "/home/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom("", "/home/u", std::nullopt), "/home/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, "/home/u/", std::nullopt), "/home/u/.local/share");
}

TEST(FolderRules, UserDatabaseWhenNoHome) {
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, nullptr, std::string("/var/lib/u")),
            "/var/lib/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, "", std::string("/var/lib/u")),
            "/var/lib/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, nullptr, std::string("/")), "/.local/share");
}

TEST(FolderRules, NothingKnownGivesEmpty) {
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, nullptr, std::nullopt), "");
  EXPECT_EQ(LocalAppDataFolderFrom("rel", "", std::string()), "");
}

TEST(FolderRules, TrailingSlashes) {
  EXPECT_EQ(WithoutTrailingSlash("/a/b///"), "/a/b");
  EXPECT_EQ(WithoutTrailingSlash("/"), "/");
  EXPECT_EQ(WithoutTrailingSlash(""), "");
}

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(Folders, LocalAppDataFolderReadsTheEnvironment) {
  {
    ScopedEnv xdg("XDG_DATA_HOME", "/tmp/xdg-data");
    EXPECT_EQ(LocalAppDataFolder(), "/tmp/xdg-data");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", "/tmp/some-home");
    EXPECT_EQ(LocalAppDataFolder(), "/tmp/some-home/.local/share");
  }
  {
    ScopedEnv xdg("XDG_DATA_HOME", nullptr);
    ScopedEnv home("HOME", nullptr);
    std::string folder = LocalAppDataFolder();  // from the user database
    EXPECT_TRUE(folder.empty() || folder.ends_with("/.local/share")) << folder;
  }
}

TEST(Folders, ExecutablePathIsThisTestProgram) {
  const std::string& path = ExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_TRUE(path.ends_with("/tavrelle_unit_tests")) << path;
  EXPECT_EQ(&ExecutablePath(), &path);  // cached
}

}  // namespace
}  // namespace tavrelle::linux_platform
