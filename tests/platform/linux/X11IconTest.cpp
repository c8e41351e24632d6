#include "platform/linux/X11Icon.h"

#include <gtest/gtest.h>

namespace tavrelle::linux_platform {
namespace {

TEST(X11Icon, SizeThenPixelsAndNothingForInconsistentImages) {
  std::vector<long> data = NetWmIconData(Image{2, 1, {0x80FF0000u, 0xFF00FF00u}});
  ASSERT_EQ(data.size(), 4u);
  EXPECT_EQ(data[0], 2);
  EXPECT_EQ(data[1], 1);
  EXPECT_EQ(static_cast<unsigned long>(data[2]), 0x80FF0000ul);
  EXPECT_EQ(static_cast<unsigned long>(data[3]), 0xFF00FF00ul);
  EXPECT_TRUE(NetWmIconData(Image{}).empty());
  EXPECT_TRUE(NetWmIconData(Image{2, 2, {1, 2, 3}}).empty());
  EXPECT_TRUE(NetWmIconData(Image{-1, 1, {}}).empty());
}

}  // namespace
}  // namespace tavrelle::linux_platform
