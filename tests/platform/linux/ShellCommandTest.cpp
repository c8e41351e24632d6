#include "platform/linux/ShellCommand.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

using Args = std::vector<std::string>;

TEST(ShellCommand, TargetIsOneArgumentAndOptionLookalikesBecomePaths) {
  EXPECT_EQ(ShellOpenArguments("https://example.com/a b?c=1&d=$(x)"),
            (Args{"xdg-open", "https://example.com/a b?c=1&d=$(x)"}));
  EXPECT_EQ(ShellOpenArguments("--help"), (Args{"xdg-open", "./--help"}));
  EXPECT_EQ(ShellOpenArguments(""), (Args{"xdg-open", ""}));
}

}  // namespace
}  // namespace tavrelle::linux_platform
