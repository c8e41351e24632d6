// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11ScreenDpi.h"

namespace tavrelle::linux_platform {
namespace {

TEST(X11ScreenDpi, WholeAndFractionalValues) {
  EXPECT_EQ(ParseDpiResource("96"), 96);
  EXPECT_EQ(ParseDpiResource("144"), 144);
  EXPECT_EQ(ParseDpiResource("120.4"), 120);
  EXPECT_EQ(ParseDpiResource("120.5"), 121);
  EXPECT_EQ(ParseDpiResource(" 192\t"), 192);
}

TEST(X11ScreenDpi, ImplausibleValuesAreNothing) {
  EXPECT_FALSE(ParseDpiResource(""));
  EXPECT_FALSE(ParseDpiResource("abc"));
  EXPECT_FALSE(ParseDpiResource("96dpi"));
  EXPECT_FALSE(ParseDpiResource("0"));
  EXPECT_FALSE(ParseDpiResource("-96"));
  EXPECT_FALSE(ParseDpiResource("100000"));
  EXPECT_FALSE(ParseDpiResource("nan"));
}

}  // namespace
}  // namespace tavrelle::linux_platform
