#include <gtest/gtest.h>

#include <vector>

#include "image/DIBFormat.h"

TEST(DIBPixelFormat, BuiltFromBitCountsInStoredOrder) {
  const DIBPixelFormat f = MakeDIBPixelFormat(5, 6, 5);
  const std::vector<int32_t> fields(reinterpret_cast<const int32_t*>(&f), reinterpret_cast<const int32_t*>(&f) + 12);
  EXPECT_EQ(fields, (std::vector<int32_t>{0xF800, 0x7E0, 0x1F, 5, 6, 5, 8, 3, 3, 3, 2, 3}));
  EXPECT_EQ(DIBFormat888().RBitMask, 0xFF0000);
  EXPECT_EQ(DIBFormat888().RShift, 16);
  EXPECT_EQ(DIBFormat555().GBitMask, 0x3E0);
}

TEST(DIBPixelFormat, BuiltFromMasksUsesTheRunAtTheLowestSetBit) {
  EXPECT_EQ(MakeDIBPixelFormatMask(0x7C00, 0x3E0, 0x1F), DIBFormat555());
  EXPECT_EQ(MakeDIBPixelFormatMask(0xF800, 0x7E0, 0x1F), DIBFormat565());
  EXPECT_EQ(MakeDIBPixelFormatMask(0xFF0000, 0xFF00, 0xFF), DIBFormat888());
  // A gap in the mask ends the run; the mask is rebuilt from the counts.
  const DIBPixelFormat gappy = MakeDIBPixelFormatMask(0xF000 | 0x0400, 0x3E0, 0x1F);
  EXPECT_EQ(gappy.RBitCount, 1);
  EXPECT_EQ(gappy.RBitMask, 0x400);
  // Hostile masks from a stream build without trouble and are refused by the fit check.
  for (uint32_t m : {0u, 0x80000000u, 0xFFFFFFFFu, 0x7FFFFFFFu}) {
    const DIBPixelFormat f = MakeDIBPixelFormatMask(m, m, m);
    EXPECT_FALSE(DIBFormatFits(16, f));
    EXPECT_FALSE(DIBFormatFits(32, f));
    uint8_t r, g, b;
    DecodeDIBPixel(f, 0xFFFFFFFF, r, g, b);
    (void)EncodeDIBPixel(f, 255, 255, 255);
  }
}

TEST(DIBPixelFormat, EncodeKeepsTheTopBitsAndDecodeFillsTheLowOnes) {
  EXPECT_EQ(EncodeDIBPixel(DIBFormat555(), 255, 0, 0), 0x7C00u);
  EXPECT_EQ(EncodeDIBPixel(DIBFormat555(), 0x0F, 0xFF, 0x08), 0x07E1u);
  EXPECT_EQ(EncodeDIBPixel(DIBFormat565(), 0x08, 0x04, 0x07), 0x0820u);
  EXPECT_EQ(EncodeDIBPixel(DIBFormat888(), 1, 2, 3), 0x010203u);

  uint8_t r, g, b;
  DecodeDIBPixel(DIBFormat555(), 0x7FFF, r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 255, 255}));
  DecodeDIBPixel(DIBFormat565(), 0x07E0, r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0, 255, 0}));
  // The low bits repeat the top ones.
  DecodeDIBPixel(DIBFormat555(), 0x4210, r, g, b);  // 16 in each channel
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0x84, 0x84, 0x84}));
  DecodeDIBPixel(DIBFormat565(), 0x0020, r, g, b);  // green 1 of 63
  EXPECT_EQ(g, 0x04);
  DecodeDIBPixel(DIBFormat888(), 0xAB123456, r, g, b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{0x12, 0x34, 0x56}));

  // Decoding keeps the order of the values (17 of 31 must not come out brighter than 18)
  // and spans 0 to 255.
  int last = -1;
  for (uint32_t v = 0; v < 32; ++v) {
    DecodeDIBPixel(DIBFormat555(), v << 10, r, g, b);
    ASSERT_GT(r, last) << v;
    last = r;
  }
  EXPECT_EQ(last, 255);
  last = -1;
  for (uint32_t v = 0; v < 64; ++v) {
    DecodeDIBPixel(DIBFormat565(), v << 5, r, g, b);
    ASSERT_GT(g, last) << v;
    last = g;
  }
  EXPECT_EQ(last, 255);
  // Every 5-6-5 value survives a decode and encode.
  for (uint32_t v = 0; v < 65536; ++v) {
    DecodeDIBPixel(DIBFormat565(), v, r, g, b);
    ASSERT_EQ(EncodeDIBPixel(DIBFormat565(), r, g, b), v);
  }
}

TEST(DIBPixelFormat, FitsAndColourCounts) {
  for (int bits : {1, 4, 8, 24, 32}) {
    EXPECT_TRUE(DIBFormatFits(bits, DIBFormat888())) << bits;
    EXPECT_FALSE(DIBFormatFits(bits, DIBFormat555())) << bits;
  }
  EXPECT_TRUE(DIBFormatFits(16, DIBFormat555()));
  EXPECT_TRUE(DIBFormatFits(16, DIBFormat565()));
  EXPECT_FALSE(DIBFormatFits(16, DIBFormat888()));
  EXPECT_EQ(DIBColorCount(4), 16);
  EXPECT_EQ(DIBColorCount(16), 0);
}
