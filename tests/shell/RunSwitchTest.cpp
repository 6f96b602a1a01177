#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/RunSwitch.h"

namespace {

std::string SwitchOf(std::vector<std::string> args) {
  std::vector<const char*> argv{"pellora"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  return RunSwitch(static_cast<int>(argv.size()), argv.data());
}

std::vector<TRunMode> ModesOf(std::vector<std::string> args) { return RunModesFor(SwitchOf(std::move(args))); }

const std::vector<TRunMode> kSaver{TRunMode::rmSaver};
const std::vector<TRunMode> kConfigure{TRunMode::rmConfigure};
const std::vector<TRunMode> kSetPassword{TRunMode::rmSetPassword};
const std::vector<TRunMode> kNone{};

TEST(RunSwitchTest, SaverRow) {
  EXPECT_EQ(SwitchOf({}), "");
  EXPECT_EQ(ModesOf({}), kSaver);
  EXPECT_EQ(ModesOf({""}), kSaver);
  EXPECT_EQ(ModesOf({"/s"}), kSaver);
  EXPECT_EQ(ModesOf({"/S"}), kSaver);
  EXPECT_EQ(SwitchOf({"/Sxyz"}), "/S");
  EXPECT_EQ(ModesOf({"/Sxyz"}), kSaver);
  EXPECT_EQ(ModesOf({"/S", "/c", "more"}), kSaver);
}

TEST(RunSwitchTest, ConfigureRow) {
  EXPECT_EQ(ModesOf({"/c"}), kConfigure);
  EXPECT_EQ(ModesOf({"/C"}), kConfigure);
  EXPECT_EQ(SwitchOf({"/c:1234"}), "/C");
  EXPECT_EQ(ModesOf({"/c:1234"}), kConfigure);
}

TEST(RunSwitchTest, SetPasswordRow) {
  EXPECT_EQ(ModesOf({"/a"}), kSetPassword);
  EXPECT_EQ(ModesOf({"/A"}), kSetPassword);
  // Only the first argument is looked at.
  EXPECT_EQ(ModesOf({"/a", "5678"}), kSetPassword);
  EXPECT_EQ(ModesOf({"/A", "1234"}), kSetPassword);
}

TEST(RunSwitchTest, AnythingElseRunsNothing) {
  EXPECT_EQ(ModesOf({"/p", "1234"}), kNone);
  EXPECT_EQ(ModesOf({"/P"}), kNone);
  EXPECT_EQ(ModesOf({"-s"}), kNone);
  EXPECT_EQ(ModesOf({"-S"}), kNone);
  EXPECT_EQ(ModesOf({"s"}), kNone);
  EXPECT_EQ(ModesOf({"S"}), kNone);
  EXPECT_EQ(ModesOf({"/"}), kNone);
  EXPECT_EQ(ModesOf({" /s"}), kNone);
  // A second argument never rescues an unknown first one.
  EXPECT_EQ(ModesOf({"x", "/s"}), kNone);
}

TEST(RunSwitchTest, OnlyAsciiLettersChangeCase) {
  EXPECT_EQ(PrepareArgument("/c:abz{}`@"), "/C:ABZ{}`@");
  // Latin-1 small letters keep their bytes, so they never match a switch.
  const std::string high = "/\xe0\xff\x80";
  EXPECT_EQ(PrepareArgument(high), high);
  EXPECT_EQ(SwitchOf({"/\xf3"}), "/\xf3");
  EXPECT_EQ(ModesOf({"/\xf3"}), kNone);
}

TEST(RunSwitchTest, LongArgumentIsCut) {
  const std::string longArg = "/s" + std::string(298, 'q');
  const std::string prepared = PrepareArgument(longArg);
  EXPECT_EQ(prepared.size(), 255u);
  EXPECT_EQ(prepared, "/S" + std::string(253, 'Q'));
  EXPECT_EQ(ModesOf({longArg}), kSaver);
  EXPECT_EQ(ModesOf({"/a" + std::string(298, 'z')}), kSetPassword);
}

}  // namespace
