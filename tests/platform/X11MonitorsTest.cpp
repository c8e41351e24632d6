// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11Monitors.h"

#include <vector>

namespace tavrelle::linux_platform {
namespace {

const Rect kScreen{0, 0, 3840, 1080};
const std::vector<Rect> kTwoSideBySide{{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};

TEST(X11MonitorChoice, NoMonitorsGivesTheScreen) {
  EXPECT_EQ(ChooseMonitor({}, Rect{10, 10, 20, 20}, kScreen), kScreen);
}

TEST(X11MonitorChoice, InsideOneMonitor) {
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{2000, 100, 2800, 700}, kScreen), kTwoSideBySide[1]);
}

TEST(X11MonitorChoice, LargestIntersectionWins) {
  // 920 pixels wide on the first, 1080 on the second.
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{1000, 0, 3000, 500}, kScreen), kTwoSideBySide[1]);
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{900, 0, 2900, 500}, kScreen), kTwoSideBySide[0]);
}

TEST(X11MonitorChoice, OffScreenWindowGetsTheNearest) {
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{-500, 100, -100, 400}, kScreen), kTwoSideBySide[0]);
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{5000, 2000, 5400, 2300}, kScreen), kTwoSideBySide[1]);
}

TEST(X11MonitorChoice, EmptyWindowStillFindsAMonitor) {
  EXPECT_EQ(ChooseMonitor(kTwoSideBySide, Rect{2500, 500, 2500, 500}, kScreen), kTwoSideBySide[1]);
}

TEST(X11MonitorChoice, StackedMonitorsWithNegativeCoordinates) {
  std::vector<Rect> stacked{{0, -1080, 1920, 0}, {0, 0, 1920, 1080}};
  EXPECT_EQ(ChooseMonitor(stacked, Rect{100, -900, 900, -100}, kScreen), stacked[0]);
  EXPECT_EQ(ChooseMonitor(stacked, Rect{100, -100, 900, 700}, kScreen), stacked[1]);
}

}  // namespace
}  // namespace tavrelle::linux_platform
