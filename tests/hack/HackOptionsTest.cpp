#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hack/HackOptions.h"

using host::TTargetKind;

namespace {

struct Parsed {
  bool ok;
  THackOptions options;
  std::string error;
};

Parsed Parse(std::vector<std::string> args, const char* lockerWindow = nullptr) {
  Parsed p{};
  p.ok = ParseHackArguments(args, lockerWindow, p.options, p.error);
  return p;
}

}  // namespace

TEST(HackOptions, WithoutArgumentsItOpensItsOwnWindowAndTakesTheSavedSettings) {
  const Parsed p = Parse({});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.Target, TTargetKind::OwnWindow);
  EXPECT_FALSE(p.options.Count);
  EXPECT_FALSE(p.options.MaxSpeed);
  EXPECT_FALSE(p.options.ShowFps);
}

TEST(HackOptions, RootMeansTheLockersWindowWhenItNamesOneAndTheRootWindowOtherwise) {
  EXPECT_EQ(Parse({"--root"}).options.Target, TTargetKind::RootWindow);
  EXPECT_EQ(Parse({"--root"}, "").options.Target, TTargetKind::RootWindow);

  Parsed hex = Parse({"--root"}, "0x1a00005");
  ASSERT_TRUE(hex.ok) << hex.error;
  EXPECT_EQ(hex.options.Target, TTargetKind::GivenWindow);
  EXPECT_EQ(hex.options.WindowId, 0x1a00005ul);

  Parsed decimal = Parse({"--root"}, "27262981");
  ASSERT_TRUE(decimal.ok) << decimal.error;
  EXPECT_EQ(decimal.options.WindowId, 27262981ul);

  // Without --root the locker's variable is not looked at, not even when it is bad.
  EXPECT_EQ(Parse({}, "0x1a00005").options.Target, TTargetKind::OwnWindow);
  EXPECT_TRUE(Parse({}, "junk").ok);

  const Parsed bad = Parse({"--root"}, "junk");
  EXPECT_FALSE(bad.ok);
  EXPECT_EQ(bad.error, "XSCREENSAVER_WINDOW must be a window id in hex (0x...) or decimal, not 'junk'");
}

TEST(HackOptions, AGivenWindowWinsOverRootInEitherOrder) {
  for (const auto& args : {std::vector<std::string>{"--root", "--window-id", "0x400001"},
                           std::vector<std::string>{"--window-id", "0x400001", "--root"}}) {
    const Parsed p = Parse(args, "0x999999");
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.Target, TTargetKind::GivenWindow);
    EXPECT_EQ(p.options.WindowId, 0x400001ul);
  }
}

TEST(HackOptions, SingleDashAndEqualsSpellingsMeanTheSame) {
  const Parsed p = Parse({"-root", "-window-id", "4194305", "-count", "7", "-max-speed=12", "-fps"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.options.Target, TTargetKind::GivenWindow);
  EXPECT_EQ(p.options.WindowId, 4194305ul);
  EXPECT_EQ(p.options.Count, 7);
  EXPECT_EQ(p.options.MaxSpeed, 12);
  EXPECT_TRUE(p.options.ShowFps);
  EXPECT_EQ(Parse({"--count=100", "--max-speed", "1"}).options.Count, 100);
  EXPECT_EQ(Parse({"--count=100", "--max-speed", "1"}).options.MaxSpeed, 1);
}

TEST(HackOptions, CountAndTopSpeedOutsideOneToAHundredAreRefusedWithTheRange) {
  for (const char* name : {"--count", "--max-speed"}) {
    SCOPED_TRACE(name);
    const std::string range = std::string(name) + " must be a whole number from 1 to 100";
    EXPECT_TRUE(Parse({name, "1"}).ok);
    EXPECT_TRUE(Parse({name, "100"}).ok);
    EXPECT_EQ(Parse({name, "0"}).error, range + ", not 0");
    EXPECT_EQ(Parse({name, "101"}).error, range + ", not 101");
    EXPECT_EQ(Parse({name, "-1"}).error, range + ", not '-1'");
    EXPECT_EQ(Parse({name, "5x"}).error, range + ", not '5x'");
    EXPECT_EQ(Parse({name, ""}).error, range + ", not ''");
    EXPECT_EQ(Parse({name, "4294967306"}).error, range + ", not 4294967306");  // 2^32 + 10
    EXPECT_EQ(Parse({name, "99999999999999999999"}).error, range + ", not '99999999999999999999'");
    EXPECT_EQ(Parse({name}).error, std::string(name) + " needs a value");
  }
}

TEST(HackOptions, UnknownArgumentsAndValuesWhereNoneBelongAreRefused) {
  EXPECT_EQ(Parse({"/s"}).error, "unknown argument '/s'");
  EXPECT_EQ(Parse({"--speed", "3"}).error, "unknown argument '--speed'");
  EXPECT_EQ(Parse({"--fps=1"}).error, "--fps takes no value");
  EXPECT_EQ(Parse({"--window-id", "none"}).error,
            "--window-id needs a window id in hex (0x...) or decimal, not 'none'");
  EXPECT_TRUE(Parse({"--help"}).options.Help);
}

TEST(HackOptions, WindowIdsAreHexWithItsPrefixOrDecimal) {
  unsigned long id = 0;
  EXPECT_TRUE(ParseWindowId("0X1F", id));
  EXPECT_EQ(id, 31ul);
  EXPECT_TRUE(ParseWindowId("007", id));  // decimal, not octal
  EXPECT_EQ(id, 7ul);
  EXPECT_TRUE(ParseWindowId("0xffffffff", id));
  EXPECT_EQ(id, 0xfffffffful);
  EXPECT_TRUE(ParseWindowId("0x00000000400001", id));
  EXPECT_EQ(id, 0x400001ul);
  for (const char* bad : {"", "0x", "0", "0x0", "12ab", "1f", "0x100000000", "4294967296", "-5", " 5", "0x-1"}) {
    EXPECT_FALSE(ParseWindowId(bad, id)) << bad;
  }
}
