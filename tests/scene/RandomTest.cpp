#include <gtest/gtest.h>

#include "platform/clock/Clock.h"
#include "scene/Random.h"

namespace {

// Expected draws were worked out apart from the generator: seed' = seed * 134775813 + 1
// mod 2^32, result = high half of seed' * n.
TEST(RandomTest, KnownSequenceFromSeedZero) {
  SetRandomSeed(0);
  EXPECT_EQ(Random(100), 0);
  EXPECT_EQ(RandomSeed(), 1u);
  EXPECT_EQ(Random(100), 3);
  EXPECT_EQ(RandomSeed(), 134775814u);
  EXPECT_EQ(Random(100), 86);
  EXPECT_EQ(RandomSeed(), 3698175007u);
  EXPECT_EQ(Random(800), 162);
  EXPECT_EQ(Random(600), 163);
  EXPECT_EQ(Random(7), 4);
  EXPECT_EQ(RandomSeed(), 2884733762u);
}

TEST(RandomTest, ZeroAndNegativeRanges) {
  SetRandomSeed(1172187917u);
  // n = 0 still advances the seed and gives 0.
  EXPECT_EQ(Random(7), 4);
  EXPECT_EQ(Random(0), 0);
  EXPECT_EQ(RandomSeed(), 1368768587u);
  // n = -1 is 0xFFFFFFFF as an unsigned range.
  EXPECT_EQ(Random(-1), 694906231);
  EXPECT_EQ(RandomSeed(), 694906232u);
}

TEST(RandomTest, SeedWrapsAtThirtyTwoBits) {
  SetRandomSeed(12345);
  const uint32_t expected[] = {1655067934u, 1242767767u, 342459380u, 2377737157u, 2721613530u};
  for (uint32_t seed : expected) {
    Random(1);
    EXPECT_EQ(RandomSeed(), seed);
  }
}

TEST(RandomTest, StaysInRangeForSmallAndLargeN) {
  SetRandomSeed(99);
  for (int32_t n : {1, 2, 6, 101, 754, 1000000, INT32_MAX}) {
    for (int k = 0; k < 2000; ++k) {
      const int32_t r = Random(n);
      ASSERT_GE(r, 0);
      ASSERT_LT(r, n);
    }
  }
}

TEST(RandomTest, RandomizeUsesMillisecondsSinceMidnightUtc) {
  ManualClock clock;
  clock.SetSystemTime(SYSTEMTIME{2026, 12, 1, 7, 13, 45, 7, 250});
  InstallClock(&clock);
  Randomize();
  InstallClock(nullptr);
  EXPECT_EQ(RandomSeed(), 49507250u);  // ((13*60+45)*60+7)*1000+250

  clock.SetSystemTime(SYSTEMTIME{2026, 12, 1, 7, 23, 59, 59, 999});
  InstallClock(&clock);
  Randomize();
  InstallClock(nullptr);
  EXPECT_EQ(RandomSeed(), 86399999u);
}

}  // namespace
