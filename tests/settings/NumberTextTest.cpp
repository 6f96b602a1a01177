#include <gtest/gtest.h>

#include "runtime/SysUtils.h"
#include "settings/Settings.h"

namespace {

struct ValCase {
  const char* text;
  int32_t value;
  int errorPos;  // 1-based position of the first bad character, 0 for a whole number
};

TEST(ValTest, WholeNumberRules) {
  const ValCase cases[] = {
      {"100", 100, 0},
      {"6", 6, 0},
      {"-5", -5, 0},
      {"+7", 7, 0},
      {" 7", 7, 0},
      {"   -12", -12, 0},
      {"$1F", 31, 0},
      {"$1f", 31, 0},
      {"$aB", 171, 0},
      {"0042", 42, 0},
      // A bad character stops conversion; the digits before it count, without the sign.
      {"12abc", 12, 3},
      {"-5x", 5, 3},
      {"7 ", 7, 2},
      {"$1G", 1, 3},
      {"1F", 1, 2},  // letters are digits only after '$'
      // No digit at all gives 0.
      {"abc", 0, 1},
      {"", 0, 1},
      {"   ", 0, 4},
      {"-", 0, 2},
      {"$", 0, 2},
      {"+-3", 0, 2},
      {"\t7", 0, 1},  // only spaces are skipped
  };
  for (const ValCase& c : cases) {
    int errorPos = -1;
    EXPECT_EQ(Val(c.text, &errorPos), c.value) << '"' << c.text << '"';
    EXPECT_EQ(errorPos, c.errorPos) << '"' << c.text << '"';
  }
  EXPECT_EQ(Val("12", nullptr), 12);
}

TEST(ValTest, LargeNumbersKeepTheirLowBits) {
  int errorPos = -1;
  EXPECT_EQ(Val("2147483647", &errorPos), INT32_MAX);
  EXPECT_EQ(Val("-2147483648", &errorPos), INT32_MIN);
  EXPECT_EQ(Val("$FFFFFFFF", &errorPos), -1);
  EXPECT_EQ(ReduceToByte(Val("4294967596", &errorPos)), 44);  // 2^32 + 300
}

TEST(SettingNumberTest, ReducedModulo256) {
  EXPECT_EQ(ParseSettingByte("12abc"), 12);
  EXPECT_EQ(ParseSettingByte("abc"), 0);
  EXPECT_EQ(ParseSettingByte(" 7"), 7);
  EXPECT_EQ(ParseSettingByte("$1F"), 31);
  EXPECT_EQ(ParseSettingByte("-5"), 251);
  EXPECT_EQ(ParseSettingByte("300"), 44);
  EXPECT_EQ(ParseSettingByte("-1"), 255);
  EXPECT_EQ(ParseSettingByte("256"), 0);
  EXPECT_EQ(ParseSettingByte("100"), 100);
  EXPECT_EQ(ParseSettingByte(""), 0);
  EXPECT_EQ(ReduceToByte(INT32_MIN), 0);
  EXPECT_EQ(ReduceToByte(-256 - 3), 253);
}

}  // namespace
