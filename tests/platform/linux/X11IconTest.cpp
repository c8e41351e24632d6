#include "platform/linux/X11Icon.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

TEST(X11Icon, SizeThenPixelsAndNothingForInconsistentImages) {
  // Each pixel in a long of its own, its 32 bits unsigned.
  EXPECT_EQ(NetWmIconData(Image{2, 1, {0x80FF0000u, 0xFF00FF00u}}),
            (std::vector<long>{2, 1, 0x80FF0000, 0xFF00FF00}));
  EXPECT_TRUE(NetWmIconData(Image{}).empty());
  EXPECT_TRUE(NetWmIconData(Image{2, 2, {1, 2, 3}}).empty());
  EXPECT_TRUE(NetWmIconData(Image{-1, 1, {}}).empty());
}

}  // namespace
}  // namespace tavrelle::linux_platform
