#pragma once

#include <string>

namespace tavrelle {

// Sets a variable in the process environment, inherited by processes started later
// (the web view runtime's browser among them).
void SetProcessEnvironmentVariable(const std::string& name, const std::string& value);

// Lets the process open as many files and sockets as the system allows it (the soft
// limit raised to the hard one): the game's parallel fetches each need one.
void RaiseOpenFileLimit();

}  // namespace tavrelle
