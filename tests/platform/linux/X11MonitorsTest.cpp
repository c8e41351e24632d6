// GoogleTest first: Xlib defines macros (None, Bool) that clash with its names.
#include <gtest/gtest.h>

#include "platform/linux/X11Monitors.h"

#include <vector>

namespace tavrelle::linux_platform {
namespace {

TEST(X11MonitorChoice, LargestIntersectionOrNearestMonitorOrTheScreen) {
  const Rect screen{0, 0, 3840, 1080};
  const std::vector<Rect> two{{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}};
  const std::vector<Rect> stacked{{0, -1080, 1920, 0}, {0, 0, 1920, 1080}};
  EXPECT_EQ(ChooseMonitor({}, Rect{10, 10, 20, 20}, screen), screen);
  // 920 pixels wide on the first, 1080 on the second, and the other way round.
  EXPECT_EQ(ChooseMonitor(two, Rect{1000, 0, 3000, 500}, screen), two[1]);
  EXPECT_EQ(ChooseMonitor(two, Rect{900, 0, 2900, 500}, screen), two[0]);
  EXPECT_EQ(ChooseMonitor(two, Rect{-500, 100, -100, 400}, screen), two[0]);  // off screen
  EXPECT_EQ(ChooseMonitor(two, Rect{2500, 500, 2500, 500}, screen), two[1]);  // empty window
  EXPECT_EQ(ChooseMonitor(stacked, Rect{100, -900, 900, -100}, screen), stacked[0]);
}

}  // namespace
}  // namespace tavrelle::linux_platform
