#pragma once

#include <string>

namespace tavrelle {

// The running executable's absolute path (computed once, then cached).
[[nodiscard]] const std::string& ExecutablePath();

// The per-user folder for application data, without a trailing "/":
// $XDG_DATA_HOME, else $HOME/.local/share. Empty when neither is known.
[[nodiscard]] std::string LocalAppDataFolder();

}  // namespace tavrelle
