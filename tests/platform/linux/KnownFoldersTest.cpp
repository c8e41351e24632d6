#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/linux/FolderRules.h"

namespace tavrelle::linux_platform {
namespace {

XdgSources HomeOnly(const char* home, std::string userDirs = {}) {
  XdgSources sources;
  sources.home = home;
  sources.userDirsText = std::move(userDirs);
  return sources;
}

TEST(KnownFolderRules, DefaultsUnderTheHomeFolder) {
  const XdgSources sources = HomeOnly("/home/p");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Profile, sources), "/home/p");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::LocalAppData, sources), "/home/p/.local/share");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::RoamingAppData, sources), "/home/p/.config");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Documents, sources), "/home/p/Documents");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::SavedGames, sources),
            "/home/p/.local/share/Saved Games");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Screenshots, sources), "/home/p/Pictures/Screenshots");
}

TEST(KnownFolderRules, BaseDirectoriesFromTheEnvironmentWhenAbsolute) {
  XdgSources sources = HomeOnly("/home/p/");
  sources.xdgConfigHome = "/conf";
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Profile, sources), "/home/p");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::RoamingAppData, sources), "/conf");
  sources.xdgConfigHome = "relative/conf";
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::RoamingAppData, sources), "/home/p/.config");
}

TEST(KnownFolderRules, UserDirectoriesFromTheFile) {
  const std::string file =
      "# written by xdg-user-dirs-update\n"
      "  XDG_DOCUMENTS_DIR=\"$HOME/Mes \\\"Docs\\\"\"\r\n"
      "XDG_DOWNLOAD_DIR=\"/mnt/big/downloads/\"\n"
      "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n"
      "XDG_VIDEOS_DIR=\"$HOME\"\n";
  const XdgSources sources = HomeOnly("/home/p", file);
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Documents, sources), "/home/p/Mes \"Docs\"");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Downloads, sources), "/mnt/big/downloads");
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Screenshots, sources), "/home/p/Bilder/Screenshots");
  // A folder set to the home folder itself is the home folder, as xdg-user-dir says.
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Videos, sources), "/home/p");
}

TEST(KnownFolderRules, UnusableLinesFallBackToTheDefault) {
  for (const char* line : {"XDG_DOCUMENTS_DIR=\"Documents\"\n",    // relative
                           "XDG_DOCUMENTS_DIR=$HOME/Docs\n",       // unquoted
                           "XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n",  // not the $HOME variable
                           "#XDG_DOCUMENTS_DIR=\"/a\"\n", "XDG_DOCUMENTS_DIRS=\"/a\"\n"}) {
    EXPECT_EQ(UserDirFrom(line, "XDG_DOCUMENTS_DIR", "/home/p"), std::nullopt) << line;
  }
  // The last usable line wins, as when a shell reads the file.
  EXPECT_EQ(UserDirFrom("XDG_DOCUMENTS_DIR=\"/a\"\nXDG_DOCUMENTS_DIR=\"/b\"", "XDG_DOCUMENTS_DIR",
                        "/home/p"),
            "/b");
}

TEST(KnownFolderRules, NoHomeMeansNoFolderBelowIt) {
  XdgSources sources;
  for (KnownFolder folder : {KnownFolder::Profile, KnownFolder::Documents, KnownFolder::Screenshots,
                             KnownFolder::SavedGames})
    EXPECT_EQ(KnownFolderPathFrom(folder, sources), "");
  // The user database stands in for a missing $HOME.
  sources.userDatabaseHome = "/var/home/p";
  EXPECT_EQ(KnownFolderPathFrom(KnownFolder::Pictures, sources), "/var/home/p/Pictures");
}

}  // namespace
}  // namespace tavrelle::linux_platform
