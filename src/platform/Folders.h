#pragma once

#include <string>

namespace tavrelle {

// The running executable's absolute path (computed once, then cached).
[[nodiscard]] const std::string& ExecutablePath();

// The per-user folder for application data, without a trailing "/":
// $XDG_DATA_HOME, else $HOME/.local/share. Empty when neither is known.
[[nodiscard]] std::string LocalAppDataFolder();

// The user's well-known folders that the page and extensions may be given.
enum class KnownFolder {
  LocalAppData,
  RoamingAppData,
  Desktop,
  Documents,
  Downloads,
  Pictures,
  Profile,
  SavedGames,
  Screenshots,
  Videos,
};

// The folder's absolute path without a trailing "/", resolved afresh on every call;
// empty when it cannot be determined. The folder need not exist.
[[nodiscard]] std::string GetKnownFolderPath(KnownFolder folder);

}  // namespace tavrelle
