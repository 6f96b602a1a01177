// The choice of the full-screen mode among the modes the display service offers.
#include <gtest/gtest.h>

#include <vector>

#include "display/DXConsts.h"
#include "display/DXDraws.h"
#include "runtime/DesignsRegistry.h"
#include "DisplayFixture.h"

namespace {

struct Host : TDirectDrawDisplayHost {
  TDirectDraw* DD = nullptr;
  TDirectDraw* DirectDraw() const override { return DD; }
};

class DisplayModeTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    ASSERT_EQ(DD->IDraw()->SetCooperativeLevel(Window, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX), DD_OK);
    H.DD = DD.get();
  }

  // The scene's wish: 800 x 600 at 16 bits, any depth, same shape first, any size.
  void WantSceneMode() {
    Display.SetWidth(800);
    Display.SetHeight(600);
    Display.SetBitCount(16);
    Display.SetFixedBitCount(false);
    Display.SetFixedRatio(true);
    Display.SetFixedSize(false);
  }

  bool Select() { return Display.SelectMode(Display.Width(), Display.Height(), Display.BitCount()); }

  void ExpectMode(int W, int Ht, int Bits) {
    EXPECT_EQ(Display.Width(), W);
    EXPECT_EQ(Display.Height(), Ht);
    EXPECT_EQ(Display.BitCount(), Bits);
    DDSURFACEDESC now{};
    now.dwSize = sizeof(now);
    ASSERT_EQ(DD->IDraw()->GetDisplayMode(&now), DD_OK);
    EXPECT_EQ(now.dwWidth, static_cast<DWORD>(W));
    EXPECT_EQ(now.dwHeight, static_cast<DWORD>(Ht));
    EXPECT_EQ(now.ddpfPixelFormat.dwRGBBitCount, static_cast<DWORD>(Bits));
  }

  Host H;
  TDirectDrawDisplay Display{&H};
};

TEST_F(DisplayModeTest, WantedModeOfferedIsSetDirectlyWithoutListingModes) {
  ddraw::SetDisplayModes({{640, 480, 16}, {800, 600, 16}, {1024, 768, 16}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(800, 600, 16);
  EXPECT_EQ(Display.KnownModeCount(), 0);
}

TEST_F(DisplayModeTest, SameShapeIsPreferredToTheSmallerOtherShape) {
  ddraw::SetDisplayModes({{640, 480, 16}, {1280, 1024, 16}, {1024, 768, 16}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(1024, 768, 16);
}

TEST_F(DisplayModeTest, OtherShapeIsTakenWhenNoModeHasTheWantedOne) {
  ddraw::SetDisplayModes({{1280, 1024, 16}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(1280, 1024, 16);
}

TEST_F(DisplayModeTest, DeeperModeIsTakenWhenTheDepthIsFree) {
  ddraw::SetDisplayModes({{1024, 768, 32}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(1024, 768, 32);
}

TEST_F(DisplayModeTest, WantedDepthIsPreferredAtTheChosenSize) {
  // The 32-bit mode comes last and would win on order alone.
  ddraw::SetDisplayModes({{1024, 768, 16}, {1024, 768, 32}, {1280, 960, 16}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(1024, 768, 16);
}

TEST_F(DisplayModeTest, LaterModeOfTheSameSizeReplacesAnEarlierOne) {
  ddraw::SetDisplayModes({{1024, 768, 24}, {1024, 768, 32}});
  WantSceneMode();
  ASSERT_TRUE(Select());
  ExpectMode(1024, 768, 32);
}

TEST_F(DisplayModeTest, EightBitWishTakesAnyDepthButADeeperWishNeverTakesEightBits) {
  ddraw::SetDisplayModes({{640, 480, 16}});
  Display.SetFixedBitCount(false);
  ASSERT_TRUE(Display.SelectMode(640, 480, 8));
  ExpectMode(640, 480, 16);

  ddraw::SetDisplayModes({{800, 600, 8}, {1024, 768, 8}});
  Display.ClearModes();
  WantSceneMode();
  EXPECT_FALSE(Select());
  // A failed choice leaves the wish for the error message.
  EXPECT_EQ(Display.Width(), 800);
  EXPECT_EQ(Display.Height(), 600);
  EXPECT_EQ(Display.BitCount(), 16);
}

TEST_F(DisplayModeTest, FixedDepthAndFixedSizeRefuseEverythingElse) {
  ddraw::SetDisplayModes({{800, 600, 8}, {1024, 768, 16}});
  WantSceneMode();
  Display.SetFixedSize(true);
  EXPECT_FALSE(Select());

  Display.ClearModes();
  ddraw::SetDisplayModes({{1024, 768, 32}});
  WantSceneMode();
  Display.SetFixedBitCount(true);
  EXPECT_FALSE(Select());
  EXPECT_EQ(Display.BitCount(), 16);
}

TEST_F(DisplayModeTest, BadWishesAndMissingDirectDrawAnswerFalse) {
  ddraw::SetDisplayModes({{800, 600, 16}});
  EXPECT_FALSE(Display.SelectMode(0, 600, 16));
  EXPECT_FALSE(Display.SelectMode(800, -1, 16));
  EXPECT_FALSE(Display.SelectMode(800, 600, 15));
  EXPECT_FALSE(Display.TrySetMode(123, 45, 16));
  EXPECT_EQ(Display.Width(), 640);

  H.DD = nullptr;
  EXPECT_FALSE(Display.TrySetMode(800, 600, 16));
  EXPECT_EQ(Display.Count(), 0);
  EXPECT_FALSE(Display.SelectMode(800, 600, 16));
}

TEST_F(DisplayModeTest, ModesAreListedInTheServicesOrderOnDemand) {
  const std::vector<ddraw::DisplayMode> offered = {{1024, 768, 32}, {640, 480, 8}, {800, 600, 16}};
  ddraw::SetDisplayModes(offered);
  EXPECT_EQ(Display.KnownModeCount(), 0);
  ASSERT_EQ(Display.Count(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Display.Modes(i)->Width(), offered[i].width);
    EXPECT_EQ(Display.Modes(i)->Height(), offered[i].height);
    EXPECT_EQ(Display.Modes(i)->BitCount(), offered[i].bitCount);
  }
  EXPECT_EQ(Display.IndexOfMode(800, 600, 16), 2);
  EXPECT_EQ(Display.IndexOfMode(800, 600, 32), -1);
  Display.ClearModes();
  EXPECT_EQ(Display.KnownModeCount(), 0);
}

TEST(DirectDrawDisplay, PropertiesStartAtTheirDefaultsAndRefuseBadValues) {
  TDirectDrawDisplay d(nullptr);
  EXPECT_EQ(d.Width(), 640);
  EXPECT_EQ(d.Height(), 480);
  EXPECT_EQ(d.BitCount(), 8);
  EXPECT_TRUE(d.FixedBitCount());
  EXPECT_TRUE(d.FixedRatio());
  EXPECT_FALSE(d.FixedSize());

  d.SetBitCount(16);
  try {
    d.SetBitCount(15);
    FAIL() << "15 bits accepted";
  } catch (const EDirectDrawError& e) {
    EXPECT_EQ(e.Message(), "It should be either of 8 or 16 or 24 or 32");
  }
  EXPECT_EQ(d.BitCount(), 16);
  for (int bits : {8, 16, 24, 32}) {
    d.SetBitCount(bits);
    EXPECT_EQ(d.BitCount(), bits);
  }
  d.SetWidth(-5);
  d.SetHeight(-1);
  EXPECT_EQ(d.Width(), 0);
  EXPECT_EQ(d.Height(), 0);
}

TEST(DirectDrawDisplay, AssignCopiesTheSixValues) {
  TDirectDrawDisplay a(nullptr);
  TDirectDrawDisplay b(nullptr);
  a.SetWidth(800);
  a.SetHeight(600);
  a.SetBitCount(16);
  a.SetFixedBitCount(false);
  a.SetFixedRatio(false);
  a.SetFixedSize(true);
  b.Assign(&a);
  EXPECT_EQ(b.Width(), 800);
  EXPECT_EQ(b.Height(), 600);
  EXPECT_EQ(b.BitCount(), 16);
  EXPECT_FALSE(b.FixedBitCount());
  EXPECT_FALSE(b.FixedRatio());
  EXPECT_TRUE(b.FixedSize());
  b.Assign(&b);
  EXPECT_EQ(b.Width(), 800);
}

}  // namespace

namespace {

TEST(DirectDrawDisplay, StoredDesignsSetTheSixValuesThroughTheSetters) {
  const TClassInfo* info = FindClassInfo("TDirectDrawDisplay");
  ASSERT_NE(info, nullptr);
  TDirectDrawDisplay d(nullptr);
  info->FindProperty("Width")->SetOrdinal(&d, 800);
  info->FindProperty("height")->SetOrdinal(&d, 600);
  info->FindProperty("BitCount")->SetOrdinal(&d, 16);
  info->FindProperty("FixedBitCount")->SetOrdinal(&d, 0);
  EXPECT_EQ(d.Width(), 800);
  EXPECT_EQ(d.Height(), 600);
  EXPECT_EQ(d.BitCount(), 16);
  EXPECT_FALSE(d.FixedBitCount());
  EXPECT_THROW(info->FindProperty("BitCount")->SetOrdinal(&d, 12), EDirectDrawError);
  EXPECT_EQ(d.BitCount(), 16);
}

}  // namespace
