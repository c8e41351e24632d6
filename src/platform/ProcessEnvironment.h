#pragma once

#include <string>

namespace tavrelle {

// Sets a variable in the process environment, inherited by processes started later
// (the web view runtime's browser among them).
void SetProcessEnvironmentVariable(const std::string& name, const std::string& value);

}  // namespace tavrelle
