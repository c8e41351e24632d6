#include "messaging/PointerLockGeometry.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavrelle {
namespace {

TEST(PointerLockGeometry, MulDivRoundsHalfAwayFromZeroAndRefusesWhatItCannot) {
  EXPECT_EQ(MulDiv(32768, 1920, 65535), 960);  // 960.01
  EXPECT_EQ(MulDiv(-1, 3, 2), -2);             // -1.5 rounds away from zero
  EXPECT_EQ(MulDiv(7, 1, 0), -1);
  EXPECT_EQ(MulDiv(std::numeric_limits<int32_t>::max(), 4, 2), -1);
}

TEST(PointerLockGeometry, CentreTruncatesTowardZero) {
  EXPECT_EQ(CentreOf(Rect{100, 50, 901, 651}), (Point{500, 350}));
  EXPECT_EQ(CentreOf(Rect{-901, -651, -100, -50}), (Point{-501, -351}));
}

// How classic absolute samples map is proven through PointerLockTest's movements.
TEST(PointerLockGeometry, TabletSamplesStretchTheirRangeOverTheArea) {
  RawMouseSample tablet{
      .absolute = true, .x = 600, .y = 100, .rangeX = {100, 1100}, .rangeY = {100, 4195}};
  EXPECT_EQ(MapAbsoluteSample(tablet, Rect{0, 0, 1000, 768}), (Point{500, 0}));
}

}  // namespace
}  // namespace tavrelle
