#pragma once

#include <string>
#include <vector>

namespace tavrelle::linux_platform {

// xdg-open's argument vector for a target. xdg-open has no "--": a target beginning
// with "-" would be taken for an option, so it becomes the relative path "./-...".
[[nodiscard]] std::vector<std::string> ShellOpenArguments(const std::string& target);

}  // namespace tavrelle::linux_platform
