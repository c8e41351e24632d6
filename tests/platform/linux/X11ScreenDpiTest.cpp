// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11ScreenDpi.h"

namespace tavrelle::linux_platform {
namespace {

TEST(X11ScreenDpi, RoundedValuesAndNothingForImplausibleOnes) {
  EXPECT_EQ(ParseDpiResource("120.4"), 120);
  EXPECT_EQ(ParseDpiResource("120.5"), 121);
  EXPECT_EQ(ParseDpiResource(" 192\t"), 192);
  for (const char* text : {"", "abc", "96dpi", "0", "-96", "100000", "nan"}) {
    EXPECT_FALSE(ParseDpiResource(text)) << text;
  }
}

}  // namespace
}  // namespace tavrelle::linux_platform
