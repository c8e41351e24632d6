#include "messaging/NamedFolders.h"

namespace tavrelle {

std::array<NamedFolder, kNamedFolderCount> ResolveNamedFolders(const NamedFolderSources& sources) {
  auto known = [&](KnownFolder folder) { return sources.knownFolderPath(folder); };
  return {{
      {"<app>", sources.appFolder},
      {"<web-resource>",
       sources.appFolder.empty() ? std::string() : sources.appFolder + sources.webRoot},
      {"<current-app-data>", sources.userDataFolder},
      {"<local-app-data>", known(KnownFolder::LocalAppData)},
      {"<roaming-app-data>", known(KnownFolder::RoamingAppData)},
      {"<desktop>", known(KnownFolder::Desktop)},
      {"<documents>", known(KnownFolder::Documents)},
      {"<downloads>", known(KnownFolder::Downloads)},
      {"<pictures>", known(KnownFolder::Pictures)},
      {"<profile>", known(KnownFolder::Profile)},
      {"<saved-games>", known(KnownFolder::SavedGames)},
      {"<screenshots>", known(KnownFolder::Screenshots)},
      {"<videos>", known(KnownFolder::Videos)},
  }};
}

}  // namespace tavrelle
