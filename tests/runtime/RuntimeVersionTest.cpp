#include <gtest/gtest.h>

#include "runtime/ReleaseChannels.h"
#include "runtime/RuntimeVersion.h"

namespace tavrelle::runtime {
namespace {

TEST(RuntimeVersionTest, PartsParseUpToTheFirstOtherCharacter) {
  EXPECT_EQ(ParseRuntimeVersion("120.0.2210.91"), (RuntimeVersion{120, 0, 2210, 91}));
  EXPECT_EQ(ParseRuntimeVersion("110"), (RuntimeVersion{110, 0, 0, 0}));
  EXPECT_EQ(ParseRuntimeVersion("120.1 beta"), (RuntimeVersion{120, 1, 0, 0}));
  EXPECT_EQ(ParseRuntimeVersion("99999999999.1"), (RuntimeVersion{0xFFFFFFFF, 1, 0, 0}));
  for (const char* text : {"", "chrome", ".120", " 120"}) {
    EXPECT_FALSE(ParseRuntimeVersion(text)) << '"' << text << '"';
  }
}

// 86.0.615.99 against 86.0.616.0 is proven through the locator's search.
TEST(RuntimeVersionTest, CompatibilityComparesEveryPart) {
  EXPECT_TRUE(IsCompatibleRuntimeVersion(*ParseRuntimeVersion("87")));
  EXPECT_FALSE(IsCompatibleRuntimeVersion(*ParseRuntimeVersion("85.9.9999.9999")));
}

TEST(ReleaseChannelsTest, ListsBecomeMasks) {
  // "1, 3" and "," are proven through the locator's search.
  EXPECT_EQ(ParseReleaseChannelList("0,1,2,3"), 0xFu);
  EXPECT_EQ(ParseReleaseChannelList(" 4 ,\t2"), 0x10u | 0x4u);
  EXPECT_EQ(ParseReleaseChannelList("99999999999999999999999"), 0x1u);
  EXPECT_EQ(ParseReleaseChannelList("-1"), 0x1u);
}

}  // namespace
}  // namespace tavrelle::runtime
