// Surfaces over the display service: making them, clipped and keyed blits, pixels,
// colours, pictures, the canvas, lost surfaces.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "DisplayFixture.h"
#include "display/DXConsts.h"
#include "display/DirectX.h"
#include "image/DIB.h"
#include "support/Png.h"

namespace {

// A value no two pixels of a 100 x 100 pattern share, never 0 (the colour key).
DWORD PatternValue(int X, int Y) { return static_cast<DWORD>(0x0100 + Y * 100 + X); }

void FillPattern(TDirectDrawSurface& S) {
  for (int y = 0; y < S.Height(); ++y)
    for (int x = 0; x < S.Width(); ++x) S.SetPixel(x, y, PatternValue(x, y));
}

// ---------------------------------------------------------------------------------------
// Making surfaces

TEST_F(DisplayTest, ResizeToANonPositiveSizeLeavesNoSurface) {
  Exclusive(800, 600, 16);
  TDirectDrawSurface* s = NewSurface(10, 10);
  ASSERT_NE(s->ISurface(), nullptr);
  s->Resize(0, 5);
  EXPECT_EQ(s->ISurface(), nullptr);
  EXPECT_EQ(s->Width(), 0);
  EXPECT_EQ(s->Height(), 0);
  // Everything on an empty surface answers quietly.
  s->Fill(1);
  s->SetPixel(0, 0, 1);
  EXPECT_EQ(s->GetPixel(0, 0), 0u);
  EXPECT_FALSE(s->Restore());
  EXPECT_FALSE(s->BlitFast(0, 0, nullptr, TRect{0, 0, 1, 1}, DDBLTFAST_WAIT));
  EXPECT_EQ(s->MatchColor(clWhite), 0u);
  try {
    s->Canvas()->TextOut(0, 0, "x");
    FAIL() << "drew on a surface that is not there";
  } catch (const EDirectDrawSurfaceError& e) {
    EXPECT_EQ(e.Message(), "IDirectDrawSurface not made");
  }
}

TEST_F(DisplayTest, NewSurfaceHasTheModesFormatAndColourKeyZero) {
  Exclusive(800, 600, 16);
  TDirectDrawSurface* s = NewSurface(47, 30);
  EXPECT_EQ(s->Width(), 47);
  EXPECT_EQ(s->Height(), 30);
  EXPECT_EQ(s->BitCount(), 16);
  EXPECT_FALSE(s->SystemMemory());
  EXPECT_TRUE(s->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
  DDCOLORKEY key{1, 1};
  ASSERT_EQ(s->ISurface()->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, 0u);
  EXPECT_EQ(key.dwColorSpaceHighValue, 0u);
}

TEST_F(DisplayTest, ExhaustedVideoMemoryMovesTheSurfaceToSystemMemory) {
  Exclusive(800, 600, 16);
  ddraw::SetVideoMemory(1000);
  TDirectDrawSurface* s = NewSurface(100, 100);
  ASSERT_NE(s->ISurface(), nullptr);
  EXPECT_TRUE(s->SystemMemory());
  EXPECT_TRUE(s->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_FALSE(s->SurfaceDesc().ddsCaps.dwCaps & DDSCAPS_VIDEOMEMORY);
}

TEST_F(DisplayTest, SurfaceThatFitsNowhereCannotBeMade) {
  Exclusive(800, 600, 16);
  auto* s = new TDirectDrawSurface(DD.get());
  try {
    s->Resize(1 << 20, 1 << 20);
    FAIL() << "a terabyte surface was made";
  } catch (const EDirectDrawSurfaceError& e) {
    EXPECT_EQ(e.Message(), "Surface cannot be made");
  }
  EXPECT_EQ(s->ISurface(), nullptr);
  EXPECT_NE(s->LastResult(), DD_OK);
}

TEST_F(DisplayTest, DirectDrawFreesWhatWasMadeOnIt) {
  // Stand-ins for the palette and clipper wrappers, to see the lists and their order.
  struct Tracked : TDirectDrawObject {
    Tracked(TDirectDraw* D, TKind K, std::string* Log, char Tag) : TDirectDrawObject(D, K), FLog(Log), FTag(Tag) {}
    ~Tracked() override { *FLog += FTag; }
    std::string* FLog;
    char FTag;
  };
  std::string log;
  Exclusive(800, 600, 16);
  const int before = ddraw::LiveObjectCount();
  NewSurface(8, 8);
  auto* gone = NewSurface(8, 8);
  NewSurface(8, 8);
  new Tracked(DD.get(), TDirectDrawObject::TKind::Clipper, &log, 'c');
  new Tracked(DD.get(), TDirectDrawObject::TKind::Palette, &log, 'p');
  new Tracked(DD.get(), TDirectDrawObject::TKind::Palette, &log, 'q');
  EXPECT_EQ(DD->SurfaceCount(), 3);
  delete gone;
  EXPECT_EQ(DD->SurfaceCount(), 2);
  EXPECT_EQ(DD->Palettes().size(), 2u);
  EXPECT_EQ(DD->Clippers().size(), 1u);
  EXPECT_EQ(ddraw::LiveObjectCount(), before + 2);
  DD.reset();
  EXPECT_EQ(log, "qpc");  // palettes last first, then clippers
  EXPECT_EQ(ddraw::LiveObjectCount(), 0);
}

TEST_F(DisplayTest, MissingDirectDrawObjectsAreReportedByName) {
  GUID unknown{1, 2, 3, {4}};
  try {
    TDirectDraw other(&unknown);
    FAIL() << "a driver the service does not have was made";
  } catch (const EDirectDrawError& e) {
    EXPECT_EQ(e.Message(), "DirectDraw cannot be initialized");
  }
  TDirectDrawSurface loose(nullptr);
  try {
    loose.Resize(4, 4);
    FAIL() << "a surface was made on no DirectDraw object";
  } catch (const EDirectDrawError& e) {
    EXPECT_EQ(e.Message(), "IDirectDraw not made");
  }
}

TEST_F(DisplayTest, LibrariesAreFoundByNameWhateverTheCase) {
  EXPECT_NE(GetLibraryFunction("ddraw.DLL", "DirectDrawCreate"), nullptr);
  try {
    GetLibraryFunction("D3DRM.dll", "Direct3DRMCreate");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "D3DRM.dll not loaded");
  }
  try {
    GetLibraryFunction("DDraw.dll", "NoSuchFunction");
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "DDraw.dll not loaded");
  }
  ReleaseLibraries();
  EXPECT_NE(GetLibraryFunction("DDRAW.DLL", "DirectDrawCreate"), nullptr);
}

// ---------------------------------------------------------------------------------------
// Clipped blits

TEST(ClipBlitRects, CutsBothRectanglesAlike) {
  const RECT DB{0, 0, 100, 60};
  const RECT SB{0, 0, 47, 47};
  struct Case {
    const char* what;
    RECT d, s;
    bool left;  // anything left to draw
    RECT clippedD, clippedS;
  };
  const Case cases[] = {
      {"off the left", {-10, 5, 37, 52}, {0, 0, 47, 47}, true, {0, 5, 37, 52}, {10, 0, 47, 47}},
      {"off the bottom right", {80, 40, 127, 87}, {0, 0, 47, 47}, true, {80, 40, 100, 60}, {0, 0, 20, 20}},
      {"a source rectangle reaching past the source", {3, 4, 63, 64}, {-5, 0, 55, 60}, true, {8, 4, 55, 51},
       {0, 0, 47, 47}},
      {"just past the right edge", {100, 0, 147, 47}, {0, 0, 47, 47}, false, {}, {}},
      {"just past the left edge", {-47, 0, 0, 47}, {0, 0, 47, 47}, false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RECT D = c.d, S = c.s;
    ASSERT_EQ(ClipBlitRects(D, S, DB, SB), c.left);
    if (!c.left) continue;
    EXPECT_EQ(D, c.clippedD);
    EXPECT_EQ(S, c.clippedS);
  }
}

class DrawTest : public DisplayTest {
 protected:
  void SetUp() override {
    DisplayTest::SetUp();
    Exclusive(800, 600, 16);
    Dest = NewSurface(100, 60);
    Source = NewSurface(47, 47);
    Dest->Fill(0);
    FillPattern(*Source);
  }
  // Every pixel of Dest is the source pixel the offset (DX, DY) puts there, inside Drawn,
  // and 0 outside.
  void ExpectDrawn(const RECT& Drawn, int DX, int DY) {
    int wrong = 0;
    for (int y = 0; y < Dest->Height(); ++y)
      for (int x = 0; x < Dest->Width(); ++x) {
        const bool inside = x >= Drawn.left && x < Drawn.right && y >= Drawn.top && y < Drawn.bottom;
        const DWORD want = inside ? PatternValue(x - DX, y - DY) : 0;
        if (Dest->GetPixel(x, y) != want && ++wrong < 5)
          ADD_FAILURE() << "at " << x << "," << y << ": " << Dest->GetPixel(x, y) << " not " << want;
      }
    EXPECT_EQ(wrong, 0);
  }
  TDirectDrawSurface* Dest = nullptr;
  TDirectDrawSurface* Source = nullptr;
};

// A sprite drawn partly or wholly off the surface, or from a source rectangle larger than
// its source, is cut to both.
TEST_F(DrawTest, SpritesAreCutToTheSurfaceAndTheSource) {
  struct Case {
    const char* what;
    int x, y;
    TRect source;  // empty: the whole source
    bool transparent;
    RECT drawn;  // where the source shows, offset by (x, y)
  };
  const Case cases[] = {
      {"partly off the left", -10, 5, {}, false, {0, 5, 37, 52}},
      {"partly off the bottom right", 80, 40, {}, false, {80, 40, 100, 60}},
      {"at the right edge", 100, 0, {}, false, {}},
      {"above the top, keyed", 0, -47, {}, true, {}},
      {"an oversized source rectangle", 3, 4, {0, 0, 60, 60}, false, {3, 4, 50, 51}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Dest->Fill(0);
    Dest->Draw(c.x, c.y, c.source.right > 0 ? c.source : Source->ClientRect(), Source, c.transparent);
    EXPECT_EQ(Dest->LastResult(), DD_OK);
    ExpectDrawn(c.drawn, c.x, c.y);
  }
}

TEST_F(DrawTest, TransparentDrawSkipsTheColourKey) {
  Dest->Fill(0x7777);
  for (int x = 0; x < 47; ++x) Source->SetPixel(x, 10, 0);  // one transparent row
  Dest->Draw(0, 0, Source->ClientRect(), Source, true);
  EXPECT_EQ(Dest->GetPixel(5, 10), 0x7777u);
  EXPECT_EQ(Dest->GetPixel(5, 11), PatternValue(5, 11));
  EXPECT_EQ(Dest->GetPixel(50, 0), 0x7777u);
}

TEST_F(DrawTest, ClipperAttachedBehindTheSurfacesBackSwitchesToTheClippedBlit) {
  IDirectDrawClipper* clipper = nullptr;
  ASSERT_EQ(DD->IDraw()->CreateClipper(0, &clipper), DD_OK);
  ASSERT_EQ(clipper->SetHWnd(0, Window), DD_OK);
  ASSERT_EQ(Dest->ISurface()->SetClipper(clipper), DD_OK);
  EXPECT_FALSE(Dest->HasClipper());
  EXPECT_FALSE(Dest->BlitFast(0, 0, Source, Source->ClientRect(), DDBLTFAST_WAIT));
  EXPECT_EQ(Dest->LastResult(), DDERR_BLTFASTCANTCLIP);

  Dest->Draw(10, 10, Source->ClientRect(), Source, false);
  EXPECT_TRUE(Dest->HasClipper());
  EXPECT_EQ(Dest->LastResult(), DD_OK);
  EXPECT_EQ(Dest->GetPixel(10, 10), PatternValue(0, 0));
  Dest->AttachClipper(nullptr);
  EXPECT_FALSE(Dest->HasClipper());
  clipper->Release();
}

TEST_F(DrawTest, AssigningASurfaceDuplicatesIt) {
  auto* copy = new TDirectDrawSurface(DD.get());
  copy->Assign(Source);
  ASSERT_NE(copy->ISurface(), nullptr);
  EXPECT_EQ(copy->Width(), 47);
  EXPECT_EQ(copy->GetPixel(46, 46), PatternValue(46, 46));
  copy->Assign(nullptr);
  EXPECT_EQ(copy->ISurface(), nullptr);
  auto* empty = new TDirectDrawSurface(DD.get());
  copy->Assign(Source);
  copy->Assign(empty);
  EXPECT_EQ(copy->ISurface(), nullptr);
  TFont font;
  EXPECT_THROW(copy->Assign(&font), EConvertError);
}

// ---------------------------------------------------------------------------------------
// Pixels and colours

TEST(SurfacePixels, EveryDepthGivesBackWhatWasWrittenAndLeavesItsNeighbours) {
  struct Case {
    int bits;
    DWORD value;
  };
  for (const Case c : {Case{1, 1}, Case{4, 0xA}, Case{8, 0xC3}, Case{16, 0xBEEF}, Case{24, 0x123456},
                       Case{32, 0xDEADBEEF}}) {
    for (int x : {0, 1, 5, 6, 7}) {
      // Room for the right-hand neighbour of the last x at 32 bits.
      uint8_t row[64];
      std::memset(row, 0x5A, sizeof row);
      uint8_t before[64];
      std::memcpy(before, row, sizeof row);
      const DWORD left = x > 0 ? ReadSurfacePixel(row, c.bits, x - 1) : 0;
      const DWORD right = ReadSurfacePixel(row, c.bits, x + 1);
      WriteSurfacePixel(row, c.bits, x, c.value);
      EXPECT_EQ(ReadSurfacePixel(row, c.bits, x), c.value) << c.bits << " bits at " << x;
      if (x > 0) {
        EXPECT_EQ(ReadSurfacePixel(row, c.bits, x - 1), left) << c.bits << " bits at " << x;
      }
      EXPECT_EQ(ReadSurfacePixel(row, c.bits, x + 1), right) << c.bits << " bits at " << x;
      WriteSurfacePixel(row, c.bits, x, ReadSurfacePixel(before, c.bits, x));
      EXPECT_EQ(std::memcmp(row, before, sizeof row), 0) << c.bits << " bits at " << x;
    }
  }
  // Bit and byte order inside the row.
  uint8_t row[4] = {};
  WriteSurfacePixel(row, 1, 0, 1);
  EXPECT_EQ(row[0], 0x80);
  WriteSurfacePixel(row, 4, 3, 0xF);
  EXPECT_EQ(row[1], 0x0F);
  std::memset(row, 0, 4);
  WriteSurfacePixel(row, 24, 0, 0x123456);
  EXPECT_EQ(row[0], 0x56);
  EXPECT_EQ(row[2], 0x12);
  EXPECT_EQ(ReadSurfacePixel(row, 15, 0), 0u);
}

// What SetPixel writes GetPixel reads back at every depth a surface of a mode may have (24
// bits only as a surface of its own format), and nothing outside the surface is touched.
TEST_F(DisplayTest, SetPixelThenGetPixelAtEveryDepth) {
  for (const int bits : {8, 16, 24, 32}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    TDirectDrawSurface* s = nullptr;
    if (bits == 24) {
      s = NewTwentyFourBitSurface(9, 3);
    } else {
      Exclusive(800, 600, bits);
      s = NewSurface(9, 3);
    }
    ASSERT_EQ(s->BitCount(), bits);
    const DWORD mask = bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    s->Fill(0);
    s->SetPixel(8, 2, 0xA5C3E1F7u & mask);
    s->SetPixel(1, 0, 0x5A3C1E7Fu & mask);
    EXPECT_EQ(s->GetPixel(8, 2), 0xA5C3E1F7u & mask);
    EXPECT_EQ(s->GetPixel(1, 0), 0x5A3C1E7Fu & mask);
    EXPECT_EQ(s->GetPixel(7, 2), 0u);
    EXPECT_EQ(s->GetPixel(0, 0), 0u);
    s->SetPixel(9, 0, 1);
    s->SetPixel(-1, 0, 1);
    EXPECT_EQ(s->GetPixel(9, 0), 0u);
    EXPECT_EQ(s->GetPixel(0, 3), 0u);
    EXPECT_EQ(s->GetPixel(0, 1), 0u);
  }
}

// A value read back is one Fill and colour keys understand: red is the red mask, and the
// bytes lie blue, green, red in memory.
TEST_F(DisplayTest, ATwentyFourBitSurfaceKeepsItsChannelsWhereItsMasksSay) {
  TDirectDrawSurface* s = NewTwentyFourBitSurface(5, 2);
  const DWORD red = s->MatchColor(clRed);
  EXPECT_EQ(red, 0xFF0000u);
  s->Fill(red);
  DDSURFACEDESC locked{};
  ASSERT_TRUE(s->Lock(nullptr, locked));
  const auto* bytes = static_cast<const uint8_t*>(locked.lpSurface);
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[2], 0xFF);
  s->Unlock(locked.lpSurface);
}

TEST_F(DisplayTest, MatchColorConvertsThroughTheSurfaceAndKeepsPixelZero) {
  Exclusive(800, 600, 16);
  TDirectDrawSurface* s = NewSurface(4, 4);
  s->SetPixel(0, 0, 0x1234);
  EXPECT_EQ(s->MatchColor(clBlack), 0u);
  EXPECT_EQ(s->GetPixel(0, 0), 0x1234u);
  EXPECT_EQ(s->MatchColor(clRed), 0xF800u);
  EXPECT_EQ(s->MatchColor(clLime), 0x07E0u);
  EXPECT_EQ(s->MatchColor(clBlue), 0x001Fu);
  EXPECT_EQ(s->MatchColor(clWhite), 0xFFFFu);
  EXPECT_EQ(s->GetPixel(0, 0), 0x1234u);
  EXPECT_EQ(s->Canvas()->DC(), nullptr);  // the device context went back
}

TEST_F(DisplayTest, MatchColorOnThirtyTwoBits) {
  Exclusive(800, 600, 32);
  TDirectDrawSurface* s = NewSurface(2, 2);
  EXPECT_EQ(s->MatchColor(static_cast<TColor>(RGB(0x12, 0x34, 0x56))), 0x123456u);
}

// ---------------------------------------------------------------------------------------
// Pictures and the canvas

// An 8-bit DIB whose pixel (x, y) has index 1 + (x + y) % 3 (red, green, blue), and index 0 black.
std::unique_ptr<TDIB> ColourBars(int W, int H) {
  auto dib = std::make_unique<TDIB>();
  dib->ColorTable()[0] = RGBQUAD{0, 0, 0, 0};
  dib->ColorTable()[1] = RGBQUAD{0, 0, 255, 0};
  dib->ColorTable()[2] = RGBQUAD{0, 255, 0, 0};
  dib->ColorTable()[3] = RGBQUAD{255, 0, 0, 0};
  dib->Reformat(W, H, 8);
  dib->ApplyColorTable();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) dib->WritePixel(x, y, static_cast<uint32_t>(1 + (x + y) % 3));
  return dib;
}

DWORD Bar565(int X, int Y) {
  static const DWORD bars[3] = {0xF800, 0x07E0, 0x001F};
  return bars[(X + Y) % 3];
}

TEST_F(DisplayTest, LoadPictureCopiesARectangleOfADIB) {
  Exclusive(800, 600, 16);
  auto dib = ColourBars(20, 10);
  auto* s = new TDirectDrawSurface(DD.get());
  s->LoadPicture(dib.get(), 0, TRect{4, 2, 12, 7}, 0);
  ASSERT_EQ(s->Width(), 8);
  ASSERT_EQ(s->Height(), 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(s->GetPixel(x, y), Bar565(x + 4, y + 2)) << x << "," << y;
  EXPECT_EQ(s->Canvas()->DC(), nullptr);

  s->LoadPicture(dib.get(), 16, TRect{0, 0, 8, 5}, 10);  // stretched twice
  ASSERT_EQ(s->Width(), 16);
  EXPECT_EQ(s->GetPixel(3, 5), Bar565(1, 2));
}

TEST_F(DisplayTest, AssignFromAGraphicAndCopyToADIB) {
  Exclusive(800, 600, 16);
  auto dib = ColourBars(6, 4);
  TBitmap bitmap;
  bitmap.Assign(dib.get());  // a graphic other than a DIB: drawn, not stretch-copied
  auto* s = new TDirectDrawSurface(DD.get());
  s->Assign(&bitmap);
  ASSERT_EQ(s->Width(), 6);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(s->GetPixel(x, 3), Bar565(x, 3));

  // Another graphic at another size goes through a true-colour copy, then stretched.
  s->LoadPicture(&bitmap, 12, TRect{1, 0, 4, 4}, 8);
  ASSERT_EQ(s->Width(), 12);
  ASSERT_EQ(s->Height(), 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 12; ++x) EXPECT_EQ(s->GetPixel(x, y), Bar565(1 + x / 4, y / 2)) << x << "," << y;
  s->Assign(&bitmap);

  TDIB back;
  back.Assign(s);
  ASSERT_EQ(back.Width(), 6);
  ASSERT_EQ(back.BitCount(), 24);
  EXPECT_EQ(back.ReadPixel(0, 0), static_cast<uint32_t>(RGB(255, 0, 0)));  // the DIB reads 24 bits as colours
  EXPECT_EQ(back.ReadPixel(1, 0), static_cast<uint32_t>(RGB(0, 255, 0)));
  EXPECT_EQ(back.ReadPixel(2, 0), static_cast<uint32_t>(RGB(0, 0, 255)));
  TFont font;
  EXPECT_THROW(s->AssignTo(&font), EConvertError);
}

TEST_F(DisplayTest, CanvasHoldsTheDeviceContextUntilReleased) {
  Exclusive(800, 600, 16);
  TDirectDrawSurface* s = NewSurface(200, 80);
  s->Fill(0);
  TDirectDrawSurfaceCanvas* c = s->Canvas();
  EXPECT_EQ(c->DC(), nullptr);
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetSize(12);
  c->Font()->SetColor(clBlue);
  c->TextOut(20, 20, "Pellora");
  EXPECT_NE(c->DC(), nullptr);
  const std::filesystem::path dir = std::filesystem::path(PELLORA_BINARY_DIR) / "renders";
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(WritePngFromDC((dir / "surface_text_12pt_blue_16bit.png").string(), c->Handle()));
  c->ReleaseCanvas();
  EXPECT_EQ(c->DC(), nullptr);

  int blue = 0;
  int other = 0;
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 200; ++x) {
      const DWORD p = s->GetPixel(x, y);
      if (p == 0) continue;
      if ((p & ~0x001Fu) != 0) {
        ++other;
      } else if (p == 0x001F) {
        ++blue;
      }
      EXPECT_TRUE(x >= 20 && y >= 20 && x < 120 && y < 45) << "ink at " << x << "," << y;
    }
  EXPECT_GT(blue, 40);
  EXPECT_EQ(other, 0);
}

// ---------------------------------------------------------------------------------------
// Lost surfaces

TEST_F(DisplayTest, LostSurfacesFailQuietlyUntilRestoredOnceActive) {
  Exclusive(800, 600, 16);
  headless::ActivateWindow(Window);
  PumpMessages();
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
  desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  desc.dwBackBufferCount = 1;
  auto* primary = new TDirectDrawSurface(DD.get());
  ASSERT_TRUE(primary->CreateSurface(desc));
  TDirectDrawSurface* sprite = NewSurface(47, 47);
  FillPattern(*sprite);
  TDirectDrawSurface* back = NewSurface(800, 600);

  headless::ActivateOtherApplication();
  PumpMessages();
  EXPECT_EQ(primary->ISurface()->IsLost(), DDERR_SURFACELOST);
  back->Draw(10, 10, sprite->ClientRect(), sprite, true);
  EXPECT_EQ(back->LastResult(), DDERR_SURFACELOST);
  EXPECT_FALSE(back->BlitFast(0, 0, sprite, sprite->ClientRect(), DDBLTFAST_WAIT));
  EXPECT_EQ(back->GetPixel(0, 0), 0u);
  EXPECT_FALSE(primary->Restore());

  headless::ActivateWindow(Window);
  PumpMessages();
  EXPECT_TRUE(primary->Restore());
  EXPECT_TRUE(back->Restore());
  EXPECT_TRUE(sprite->Restore());
  EXPECT_EQ(primary->ISurface()->IsLost(), DD_OK);
  back->Draw(10, 10, sprite->ClientRect(), sprite, false);
  EXPECT_EQ(back->LastResult(), DD_OK);
}

}  // namespace
