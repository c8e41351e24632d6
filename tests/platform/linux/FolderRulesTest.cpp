#include "platform/linux/FolderRules.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Folders.h"

namespace tavrelle::linux_platform {
namespace {

TEST(FolderRules, XdgDataHomeThenHomeThenTheUserDatabase) {
  const std::optional<std::string> none;
  const std::optional<std::string> db("/var/lib/u");
  EXPECT_EQ(LocalAppDataFolderFrom("/data/share//", "/home/u", none), "/data/share");
  // A relative XDG_DATA_HOME is ignored, and an empty or relative $HOME.
  EXPECT_EQ(LocalAppDataFolderFrom("relative/share", "/home/u", none), "/home/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, "/home/u/", none), "/home/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, "", db), "/var/lib/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, "games/u", db), "/var/lib/u/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, nullptr, std::string("/")), "/.local/share");
  EXPECT_EQ(LocalAppDataFolderFrom(nullptr, nullptr, none), "");
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    value != nullptr ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// XDG_DATA_HOME is read in the end-to-end tests, which always set it.
TEST(Folders, LocalAppDataFolderReadsTheHomeFolder) {
  ScopedEnv xdg("XDG_DATA_HOME", nullptr);
  ScopedEnv home("HOME", "/tmp/some-home");
  EXPECT_EQ(LocalAppDataFolder(), "/tmp/some-home/.local/share");
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
