// The bitmap file reader and writer: our own files of every depth read back equal, files
// made by an independent tool read as drawn, and broken files are refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "runtime/BitmapFile.h"
#include "runtime/Graphics.h"

namespace {

namespace fs = std::filesystem;

constexpr DWORD Masks555[3] = {0x7C00, 0x03E0, 0x001F};
constexpr DWORD Masks565[3] = {0xF800, 0x07E0, 0x001F};
constexpr DWORD Masks888[3] = {0xFF0000, 0x00FF00, 0x0000FF};

struct TDepth {
  int32_t BitCount;
  const DWORD* Masks;
  const char* Name;
};

std::vector<RGBQUAD> Ramp(int n) {
  std::vector<RGBQUAD> c;
  for (int i = 0; i < n; ++i) c.push_back(RGBQUAD{static_cast<BYTE>(i * 7), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3), 0});
  return c;
}

// A bitmap whose every byte of every row is some function of its place, with runs in
// it, so both plain and run-length forms have something to do.
void FillPattern(TBitmap& b) {
  const int32_t rowBytes = ((b.BitCount() * b.Width() + 31) / 32) * 4;
  const int32_t usedBits = b.BitCount() * b.Width();
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int32_t i = 0; i < rowBytes; ++i) {
      uint8_t v = static_cast<uint8_t>((i / 3 < 4) ? 0x11 * (y % 3) : (i * 37 + y * 11));
      if (b.BitCount() == 8) v = static_cast<uint8_t>(v % 16);  // stays inside a short table
      // Padding bytes past the row's pixels are zero, as writers leave them.
      if (i * 8 >= usedBits) v = 0;
      else if ((i + 1) * 8 > usedBits) v &= static_cast<uint8_t>(0xFF << ((i + 1) * 8 - usedBits));
      row[i] = v;
    }
  }
}

std::vector<uint8_t> Bits(TBitmap& b) { return b.GetBitmapData().Bits; }

COLORREF At(TBitmap& b, int x, int y) { return b.GetBitmapData().PixelColor(x, y); }

DWORD HeaderField(const std::vector<uint8_t>& file, size_t offset) {
  DWORD v = 0;
  std::memcpy(&v, file.data() + offset, 4);
  return v;
}

TEST(BitmapFile, EveryDepthWrittenByTBitmapReadsBackPixelForPixel) {
  const TDepth depths[] = {{1, nullptr, "1"},        {4, nullptr, "4"},        {8, nullptr, "8"},
                           {16, Masks555, "16/555"}, {16, Masks565, "16/565"}, {24, nullptr, "24"},
                           {32, Masks888, "32"}};
  for (const TDepth& d : depths) {
    for (int width : {1, 7, 33}) {
      SCOPED_TRACE(std::string(d.Name) + " bits, width " + std::to_string(width));
      TBitmap a;
      const std::vector<RGBQUAD> colors = Ramp(d.BitCount <= 8 ? std::min(1 << d.BitCount, 16) : 0);
      a.NewDIB(width, 5, d.BitCount, d.Masks, colors.data(), static_cast<int32_t>(colors.size()));
      FillPattern(a);
      TMemoryStream s;
      a.SaveToStream(s);
      const std::vector<uint8_t> file = s.Bytes();
      EXPECT_EQ(HeaderField(file, 2), file.size()) << "file size field";
      // 5-6-5 needs its masks in the file; the other depths are written plain.
      EXPECT_EQ(HeaderField(file, 30), d.Masks == Masks565 ? BI_BITFIELDS : BI_RGB);
      s.SetPosition(0);
      TBitmap b;
      b.LoadFromStream(s);
      EXPECT_EQ(s.Position(), s.Size());
      ASSERT_EQ(b.Width(), width);
      ASSERT_EQ(b.Height(), 5);
      EXPECT_EQ(b.BitCount(), d.BitCount);
      EXPECT_EQ(b.PixelFormat(), a.PixelFormat());
      EXPECT_EQ(Bits(b), Bits(a));
      for (int y = 0; y < 5; ++y)
        for (int x = 0; x < width; ++x) ASSERT_EQ(At(b, x, y), At(a, x, y)) << x << "," << y;
    }
  }
}

TEST(BitmapFile, RunLengthFilesWrittenByTBitmapReadBackEqualAndAreSmallerForRuns) {
  for (int bpp : {4, 8}) {
    for (int width : {1, 2, 3, 9, 40, 300}) {
      SCOPED_TRACE(std::to_string(bpp) + " bits, width " + std::to_string(width));
      TBitmap a;
      const std::vector<RGBQUAD> colors = Ramp(16);
      a.NewDIB(width, 6, bpp, nullptr, colors.data(), 16);
      FillPattern(a);
      a.SetCompression(bcRle);
      TMemoryStream s;
      a.SaveToStream(s);
      const std::vector<uint8_t> file = s.Bytes();
      EXPECT_EQ(HeaderField(file, 30), bpp == 8 ? BI_RLE8 : BI_RLE4);
      s.SetPosition(0);
      TBitmap b;
      b.LoadFromStream(s);
      ASSERT_EQ(b.Width(), width);
      EXPECT_EQ(Bits(b), Bits(a));
    }
  }
  // A picture of one colour packs into a few bytes a row.
  TBitmap flat;
  flat.NewDIB(200, 10, 8, nullptr, nullptr, 0);
  flat.SetCompression(bcRle);
  TMemoryStream s;
  flat.SaveToStream(s);
  EXPECT_LT(s.Size(), 14 + 40 + 1024 + 10 * 8);
}

TEST(BitmapFile, RunLengthEscapesDeltaLiteralAndEarlyEndDecodeAsPublished) {
  // 4 x 3, 8 bits: row 0: a run of one 5, then the literal 1 2 3 (padded); EOL; delta (1, 1) to row 2,
  // column 1; run of 3 nines; end of picture. Row 1 and the skipped pixels stay 0.
  TBitmapData d;
  d.Width = 4;
  d.Height = 3;
  d.BitCount = 8;
  d.Colors = Ramp(16);
  d.Bits.assign(12, 0);
  TMemoryStream raw;
  WriteBitmapFile(raw, d);
  std::vector<uint8_t> file = raw.Bytes();
  const std::vector<uint8_t> rle = {1, 5, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 1, 3, 9, 0, 1};
  file.resize(14 + 40 + 16 * 4);
  file.insert(file.end(), rle.begin(), rle.end());
  DWORD comp = BI_RLE8, size = static_cast<DWORD>(rle.size());
  std::memcpy(file.data() + 30, &comp, 4);
  std::memcpy(file.data() + 34, &size, 4);
  TCustomMemoryStream s(file.data(), static_cast<int64_t>(file.size()));
  const TBitmapData got = ReadBitmapFile(s, s.Size());
  const uint8_t expect[3][4] = {{5, 1, 2, 3}, {0, 0, 0, 0}, {0, 9, 9, 9}};  // bottom row first
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(got.Bits[y * 4 + x], expect[y][x]) << x << "," << y;
}

TEST(BitmapFile, TopDownRowsReadIntoTheSamePictureAsBottomUp) {
  TBitmap a;
  a.NewDIB(5, 4, 24, nullptr, nullptr, 0);
  FillPattern(a);
  TMemoryStream s;
  a.SaveToStream(s);
  std::vector<uint8_t> file = s.Bytes();
  const size_t off = HeaderField(file, 10);
  const size_t rowBytes = 16;
  std::vector<uint8_t> flipped(file.begin(), file.begin() + static_cast<ptrdiff_t>(off));
  for (int r = 3; r >= 0; --r) {
    flipped.insert(flipped.end(), file.begin() + static_cast<ptrdiff_t>(off + r * rowBytes),
                   file.begin() + static_cast<ptrdiff_t>(off + (r + 1) * rowBytes));
  }
  const LONG negative = -4;
  std::memcpy(flipped.data() + 22, &negative, 4);
  TCustomMemoryStream in(flipped.data(), static_cast<int64_t>(flipped.size()));
  TBitmap b;
  b.LoadFromStream(in);
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(Bits(b), Bits(a));
}

TEST(BitmapFile, ShortColourTablesCoreHeadersAndThePixelOffsetAreHonoured) {
  // A 2 x 1, 8-bit picture with a 3-entry table and 6 bytes of junk before the pixels,
  // which the pixel offset skips.
  std::vector<uint8_t> f = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 40 + 12 + 6, 0, 0, 0};
  const BITMAPINFOHEADER h{40, 2, 1, 1, 8, BI_RGB, 4, 0, 0, 3, 0};
  const auto* hp = reinterpret_cast<const uint8_t*>(&h);
  f.insert(f.end(), hp, hp + 40);
  const uint8_t table[] = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};  // red, lime, blue
  f.insert(f.end(), table, table + 12);
  f.insert(f.end(), 6, 0xEE);
  f.insert(f.end(), {2, 1, 0, 0});
  TCustomMemoryStream s(f.data(), static_cast<int64_t>(f.size()));
  TBitmap b;
  b.LoadFromStream(s);
  EXPECT_EQ(At(b, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(At(b, 1, 0), RGB(0, 255, 0));

  // The older core header: 3-byte colour entries.
  std::vector<uint8_t> c = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 14 + 12 + 6, 0, 0, 0};
  const uint8_t core[] = {12, 0, 0, 0, 3, 0, 1, 0, 1, 0, 1, 0};
  c.insert(c.end(), core, core + 12);
  const uint8_t coreTable[] = {255, 0, 0, 0, 255, 255};  // blue, yellow
  c.insert(c.end(), coreTable, coreTable + 6);
  c.insert(c.end(), {0x40, 0, 0, 0});  // pixels 0 1 0
  TCustomMemoryStream cs(c.data(), static_cast<int64_t>(c.size()));
  TBitmap core1;
  core1.LoadFromStream(cs);
  EXPECT_EQ(core1.BitCount(), 1);
  EXPECT_EQ(At(core1, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(At(core1, 1, 0), RGB(255, 255, 0));
  EXPECT_EQ(At(core1, 2, 0), RGB(0, 0, 255));
}

// Files made by ImageMagick, compared with what it was asked to draw.
class ForeignBitmaps : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("which convert > /dev/null 2>&1") != 0) return;
    Dir = fs::path(::testing::TempDir()) / ("pellora_bmp_" + std::to_string(::getpid()));
    fs::create_directories(Dir);
    const std::string red7x3 = "-size 7x3 xc:red -fill blue -draw 'point 1,1' -alpha off ";
    const std::map<std::string, std::string> commands = {
        {"rgb24", red7x3 + "BMP3:"},
        {"core24", red7x3 + "BMP2:"},
        {"core_palette", red7x3 + "-type palette BMP2:"},
        {"v5_24", red7x3 + "-type truecolor BMP:"},
        {"broken565", red7x3 + "-define bmp:subtype=RGB565 BMP3:"},
        {"v5_555", red7x3 + "-define bmp:subtype=RGB555 BMP:"},
        {"v5_565", red7x3 + "-define bmp:subtype=RGB565 BMP:"},
        {"argb32", "-size 7x3 xc:red -fill blue -draw 'point 1,1' -alpha on BMP:"},
        {"pal4", red7x3 + "-fill lime -draw 'point 3,2' -type palette BMP3:"},
        {"mono", "-size 9x3 xc:white -fill black -draw 'point 1,1' -monochrome BMP3:"},
        {"rle8", "-size 40x4 xc:red -fill blue -draw 'point 1,1' -fill lime -draw 'point 30,3' -type palette "
                 "-compress RLE BMP3:"},
    };
    for (const auto& [name, args] : commands) {
      const std::string cmd = "convert " + args + (Dir / (name + ".bmp")).string() + " 2>/dev/null";
      if (std::system(cmd.c_str()) != 0) Failed += name + " ";
    }
  }
  static void TearDownTestSuite() {
    if (!Dir.empty()) fs::remove_all(Dir);
  }
  void SetUp() override {
    if (Dir.empty()) GTEST_SKIP() << "ImageMagick's convert is not installed; foreign bitmap files not tested";
    ASSERT_TRUE(Failed.empty()) << "convert failed for: " << Failed;
  }
  TBitmap& Load(const std::string& name) {
    Bitmap = std::make_unique<TBitmap>();
    Bitmap->LoadFromFile((Dir / (name + ".bmp")).string());
    return *Bitmap;
  }
  std::vector<uint8_t> FileBytes(const std::string& name) {
    TMemoryStream m;
    m.LoadFromFile((Dir / (name + ".bmp")).string());
    return m.Bytes();
  }
  static inline fs::path Dir;
  static inline std::string Failed;
  std::unique_ptr<TBitmap> Bitmap;
};

void ExpectRedWithBlueAt11(TBitmap& b, int width = 7) {
  ASSERT_EQ(b.Width(), width);
  ASSERT_EQ(b.Height(), 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < width; ++x)
      ASSERT_EQ(At(b, x, y), (x == 1 && y == 1) ? RGB(0, 0, 255) : RGB(255, 0, 0)) << x << "," << y;
}

TEST_F(ForeignBitmaps, InfoHeaderTrueColour) {
  ExpectRedWithBlueAt11(Load("rgb24"));
  EXPECT_EQ(Bitmap->BitCount(), 24);
}

TEST_F(ForeignBitmaps, CoreHeaderTrueColourAndPalette) {
  ASSERT_EQ(HeaderField(FileBytes("core24"), 14), 12u);
  ExpectRedWithBlueAt11(Load("core24"));
  ASSERT_EQ(HeaderField(FileBytes("core_palette"), 14), 12u);
  ExpectRedWithBlueAt11(Load("core_palette"));
  EXPECT_LE(Bitmap->BitCount(), 8);
}

TEST_F(ForeignBitmaps, LargerHeadersWithAndWithoutMasks) {
  ASSERT_EQ(HeaderField(FileBytes("v5_24"), 14), 124u);
  ExpectRedWithBlueAt11(Load("v5_24"));
  ASSERT_EQ(HeaderField(FileBytes("argb32"), 30), BI_BITFIELDS);
  ExpectRedWithBlueAt11(Load("argb32"));
  EXPECT_EQ(Bitmap->BitCount(), 32);
}

TEST_F(ForeignBitmaps, SixteenBitsInTheLargerHeader) {
  for (const char* name : {"v5_565", "v5_555"}) {
    SCOPED_TRACE(name);
    const std::vector<uint8_t> file = FileBytes(name);
    ASSERT_EQ(HeaderField(file, 28) & 0xFFFF, 16u);
    ExpectRedWithBlueAt11(Load(name));
    EXPECT_EQ(Bitmap->PixelFormat(), std::string(name) == "v5_565" ? pf16bit : pf15bit);
  }
}

TEST_F(ForeignBitmaps, BitFieldsWithoutTheirMasksAreRefused) {
  // This tool's 16-bit files of the 40-byte kind say bit fields but leave the masks out
  // (the pixels start right after the header), so no reader can know the layout.
  const std::vector<uint8_t> file = FileBytes("broken565");
  ASSERT_EQ(HeaderField(file, 30), BI_BITFIELDS);
  ASSERT_EQ(HeaderField(file, 10), 54u);
  EXPECT_THROW(Load("broken565"), EInvalidGraphic);
}

TEST_F(ForeignBitmaps, PalettedFourAndOneBit) {
  TBitmap& b = Load("pal4");
  EXPECT_EQ(b.BitCount(), 4);
  EXPECT_EQ(At(b, 3, 2), RGB(0, 255, 0));
  EXPECT_EQ(At(b, 1, 1), RGB(0, 0, 255));
  EXPECT_EQ(At(b, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(At(b, 6, 2), RGB(255, 0, 0));
  TBitmap& m = Load("mono");
  EXPECT_EQ(m.BitCount(), 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 9; ++x) EXPECT_EQ(At(m, x, y), (x == 1 && y == 1) ? RGB(0, 0, 0) : RGB(255, 255, 255));
}

TEST_F(ForeignBitmaps, RunLengthEightBits) {
  ASSERT_EQ(HeaderField(FileBytes("rle8"), 30), BI_RLE8);
  TBitmap& b = Load("rle8");
  ASSERT_EQ(b.Width(), 40);
  ASSERT_EQ(b.Height(), 4);
  EXPECT_EQ(b.BitCount(), 8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 40; ++x) {
      const COLORREF want = (x == 1 && y == 1) ? RGB(0, 0, 255) : (x == 30 && y == 3) ? RGB(0, 255, 0) : RGB(255, 0, 0);
      ASSERT_EQ(At(b, x, y), want) << x << "," << y;
    }
}

TEST_F(ForeignBitmaps, WhatWeWriteImageMagickReadsAsWeDrewIt) {
  TBitmap& b = Load("pal4");
  b.SetCompression(bcRle);
  const std::string out = (Dir / "ours_rle4.bmp").string();
  b.SaveToFile(out);
  const std::string cmd = "convert " + out + " -format '%[pixel:p{3,2}] %[pixel:p{1,1}]' info:";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[256] = {};
  const size_t n = fread(buf, 1, sizeof buf - 1, p);
  pclose(p);
  const std::string said(buf, n);
  EXPECT_EQ(said, "srgb(0,255,0) srgb(0,0,255)");
}

TEST(MalformedBitmaps, EveryFileIsRefusedWithAnExceptionAndTheBitmapIsKept) {
  const fs::path dir = fs::path(PELLORA_SOURCE_DIR) / "tests/data/bmp/malformed";
  ASSERT_TRUE(fs::is_directory(dir)) << dir;
  // The files that end early say so with the read error; every other one is not a
  // real picture.
  const std::map<std::string, bool> readErrors = {
      {"truncated_file_header.bmp", true}, {"truncated_info_header.bmp", true}, {"truncated_pixels.bmp", true},
      {"huge_colour_count.bmp", true},     {"empty.bmp", true}};
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ++files;
    TBitmap b;
    b.NewDIB(3, 2, 24, nullptr, nullptr, 0);
    const std::vector<uint8_t> before = b.GetBitmapData().Bits;
    bool refused = false;
    try {
      b.LoadFromFile(entry.path().string());
    } catch (const EReadError& e) {
      refused = true;
      EXPECT_TRUE(readErrors.count(name)) << "read error for a complete file: " << e.Message();
      EXPECT_EQ(e.Message(), "Stream read error");
    } catch (const EInvalidGraphic& e) {
      refused = true;
      EXPECT_FALSE(readErrors.count(name)) << "invalid for a file that only ends early: " << e.Message();
      EXPECT_EQ(e.Message().rfind("Bitmap image is not valid", 0), 0u) << e.Message();
    }
    EXPECT_TRUE(refused) << "accepted";
    EXPECT_EQ(b.Width(), 3);
    EXPECT_EQ(b.GetBitmapData().Bits, before);
  }
  EXPECT_GE(files, 30);
}

TEST(MalformedBitmaps, APictureLargerThanTheCapIsRefusedBeforeAnythingIsAllocated) {
  // 2^14 x 2^15 is 2^29 pixels, twice the cap, in a 54-byte file.
  TBitmapData d;
  d.Width = 1;
  d.Height = 1;
  d.BitCount = 24;
  d.Bits.assign(4, 0);
  TMemoryStream s;
  WriteBitmapFile(s, d);
  std::vector<uint8_t> f = s.Bytes();
  const LONG w = 1 << 14, h = 1 << 15;
  std::memcpy(f.data() + 18, &w, 4);
  std::memcpy(f.data() + 22, &h, 4);
  TCustomMemoryStream in(f.data(), static_cast<int64_t>(f.size()));
  EXPECT_THROW(ReadBitmapFile(in, in.Size()), EInvalidGraphic);
  // Just under the cap but with no pixels in the file: the read error, also before
  // allocating the quarter gigabyte.
  const LONG w2 = 1 << 14, h2 = 1 << 14;
  std::memcpy(f.data() + 18, &w2, 4);
  std::memcpy(f.data() + 22, &h2, 4);
  TCustomMemoryStream in2(f.data(), static_cast<int64_t>(f.size()));
  EXPECT_THROW(ReadBitmapFile(in2, in2.Size()), EReadError);
}

}  // namespace

namespace {

// Damages valid files of every kind at random places, many times over: each damaged file
// must either read or be refused with one of the runtime's errors, never anything else
// (run under the address sanitizer, this is what catches reads past a buffer).
TEST(MalformedBitmaps, RandomDamageIsReadOrRefusedButNeverCrashes) {
  std::vector<std::vector<uint8_t>> seeds;
  for (int bpp : {1, 4, 8, 16, 24, 32}) {
    for (TBitmapCompression c : {bcNatural, bcRle}) {
      TBitmapData d;
      d.Width = 13;
      d.Height = 5;
      d.BitCount = bpp;
      if (bpp <= 8) d.Colors = Ramp(bpp == 1 ? 2 : 12);
      if (bpp == 16) std::copy(Masks565, Masks565 + 3, d.Masks);
      if (bpp == 32) std::copy(Masks888, Masks888 + 3, d.Masks);
      d.Bits.resize(static_cast<size_t>(d.RowBytes()) * d.Height);
      for (size_t i = 0; i < d.Bits.size(); ++i) d.Bits[i] = static_cast<uint8_t>((i / 5) * 17);
      TMemoryStream s;
      WriteBitmapFile(s, d, c);
      seeds.push_back(s.Bytes());
    }
  }
  uint32_t state = 12345;
  auto next = [&] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
  int refused = 0, read = 0;
  for (int round = 0; round < 6000; ++round) {
    std::vector<uint8_t> f = seeds[next() % seeds.size()];
    const int damage = 1 + static_cast<int>(next() % 4);
    for (int k = 0; k < damage; ++k) {
      const size_t at = next() % f.size();
      switch (next() % 4) {
        case 0: f[at] = static_cast<uint8_t>(next()); break;
        case 1: f[at] ^= static_cast<uint8_t>(1u << (next() % 8)); break;
        case 2: f.resize(at + 1); break;
        default: f[at] = (next() & 1) ? 0xFF : 0x00; break;
      }
    }
    TCustomMemoryStream in(f.data(), static_cast<int64_t>(f.size()));
    try {
      const TBitmapData d = ReadBitmapFile(in, in.Size());
      ASSERT_EQ(d.Bits.size(), static_cast<size_t>(d.RowBytes()) * d.Height);
      ASSERT_LE(d.Colors.size(), 256u);
      ++read;
    } catch (const EReadError&) {
      ++refused;
    } catch (const EInvalidGraphic&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 100);
  EXPECT_GT(read, 100);
}

}  // namespace
