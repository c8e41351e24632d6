#include "common/Dpi.h"

#include <limits>

#include <gtest/gtest.h>

namespace tavrelle {
namespace {

class ScaleForDpiTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetScreenDpiSource({});
    ResetDpiCacheForTesting();
  }
  void useDpi(int dpi) {
    ResetDpiCacheForTesting();
    SetScreenDpiSource([this, dpi] {
      ++reads_;
      return dpi;
    });
  }
  int reads_ = 0;
};

TEST_F(ScaleForDpiTest, ScalesAndRoundsUp) {
  useDpi(120);
  EXPECT_EQ(ScaleForDpi(801), 1002);
  EXPECT_EQ(ScaleForDpi(-5), -6);  // ceil of -6.25
}

TEST_F(ScaleForDpiTest, ReadsTheDpiOnceAndFallsBackTo96) {
  useDpi(192);
  EXPECT_EQ(ScaleForDpi(10), 20);
  SetScreenDpiSource([] { return 96; });
  EXPECT_EQ(ScaleForDpi(10), 20);
  EXPECT_EQ(reads_, 1);
  ResetDpiCacheForTesting();
  SetScreenDpiSource({});
  EXPECT_EQ(ScaleForDpi(801), 801);
  useDpi(0);
  EXPECT_EQ(ScaleForDpi(801), 801);
}

TEST(ScaleForDpiWithFactorTest, RoundsUpAndClampsTo32Bits) {
  EXPECT_EQ(ScaleForDpiWithFactor(3, 1.1f), 4);
  EXPECT_EQ(ScaleForDpiWithFactor(std::numeric_limits<int32_t>::max(), 2.0f),
            std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ScaleForDpiWithFactor(std::numeric_limits<int32_t>::min(), 2.0f),
            std::numeric_limits<int32_t>::min());
}

}  // namespace
}  // namespace tavrelle
