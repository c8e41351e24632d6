#pragma once

#include <string>

namespace tavrelle {

// Hands an address or path to the desktop's default handler (the "open" verb) and
// returns at once. The text is passed as one argument, never through a shell.
void ShellOpen(const std::string& target);

}  // namespace tavrelle
