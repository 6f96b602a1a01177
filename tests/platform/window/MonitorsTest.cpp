// Which monitors get a black cover while the primary one shows a full-screen window.
#include <gtest/gtest.h>

#include "platform/window/Monitors.h"

using window_internal::MonitorRect;
using window_internal::MonitorsToCover;

TEST(MonitorsToCover, EveryOtherMonitorOnceAndNoneOverThePrimary) {
  const MonitorRect left{0, 0, 1280, 1024};
  const MonitorRect right{1280, 0, 1920, 1080};
  const MonitorRect above{1280, -768, 1024, 768};
  // One monitor, or none known: nothing to cover.
  EXPECT_TRUE(MonitorsToCover({}).empty());
  EXPECT_TRUE(MonitorsToCover({left}).empty());
  // The primary first, wherever it lies; the others in their order.
  EXPECT_EQ(MonitorsToCover({left, right, above}), (std::vector<MonitorRect>{right, above}));
  EXPECT_EQ(MonitorsToCover({right, left}), (std::vector<MonitorRect>{left}));
  // Touching edges are no overlap; a mirror of the primary or one reaching into it would
  // put black over the picture, so it is left alone; a monitor listed twice is covered once.
  const MonitorRect mirror = left;
  const MonitorRect straddling{1000, 0, 1280, 1024};
  EXPECT_EQ(MonitorsToCover({left, mirror, straddling, right, right}), (std::vector<MonitorRect>{right}));
  // A monitor without an area has nothing to cover.
  EXPECT_TRUE(MonitorsToCover({left, MonitorRect{3000, 0, 0, 1024}}).empty());
}
