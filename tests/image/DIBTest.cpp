#include <gtest/gtest.h>

#include "DIBTestSupport.h"

using dibtest::ExpectError;

TEST(TDIB, EmptyDIBsShareTheOneEmptyStore) {
  TDIB a, b;
  EXPECT_EQ(a.Image(), b.Image());
  EXPECT_TRUE(a.IsEmpty());
  EXPECT_EQ(a.Width(), 0);
  EXPECT_EQ(a.BitCount(), 0);
  EXPECT_TRUE(a.Image()->MemoryOnly());
  EXPECT_TRUE(SameColorTable(a.ColorTable(), GreyRamp()));
  EXPECT_EQ(a.PixelFormat(), DIBFormat888());
  a.Reformat(3, 3, 8);
  a.Clear();
  EXPECT_EQ(a.Image(), b.Image());
}

TEST(TDIB, ChangingWidthOrHeight) {
  TDIB dib;
  dib.SetWidth(10);
  EXPECT_EQ(dib.Width(), 10);
  EXPECT_EQ(dib.Height(), 1);
  EXPECT_EQ(dib.BitCount(), 8);
  dib.Reformat(10, 4, 24);
  dib.SetHeight(7);
  EXPECT_EQ(dib.Height(), 7);
  EXPECT_EQ(dib.BitCount(), 24);
  dib.SetHeight(0);
  EXPECT_TRUE(dib.IsEmpty());
  dib.SetHeight(5);
  EXPECT_EQ(dib.Width(), 1);
  dib.SetWidth(-3);
  EXPECT_TRUE(dib.IsEmpty());
}

TEST(TDIB, ReformatChecksBitCountAndFormatAndKeepsTheStoreOnError) {
  TDIB dib;
  dib.Reformat(5, 4, 8);
  dib.WritePixel(1, 1, 77);
  const TDIBSharedImage* before = dib.Image();
  ExpectError<EInvalidGraphicOperation>([&] { dib.Reformat(5, 4, 3); }, "Bitcount in invalid (3)");
  ExpectError<EInvalidGraphicOperation>([&] { dib.Reformat(5, 4, 16); }, "PixelFormat in invalid");
  EXPECT_EQ(dib.Image(), before);
  EXPECT_EQ(dib.ReadPixel(1, 1), 77u);

  // Same size, bit count and format: the store and its pixels stay.
  dib.Reformat(5, 4, 8);
  EXPECT_EQ(dib.Image(), before);
  EXPECT_EQ(dib.ReadPixel(1, 1), 77u);

  dib.SetPendingPixelFormat(DIBFormat565());
  dib.Reformat(5, 4, 16);
  EXPECT_EQ(dib.PixelFormat(), DIBFormat565());
  EXPECT_EQ(dib.RowBytes(), 12);
  ExpectError<EInvalidGraphicOperation>([&] { dib.Reformat(5, 4, 24); }, "PixelFormat in invalid");
  // A new format at the same size makes a new store.
  dib.SetPendingPixelFormat(DIBFormat555());
  const TDIBSharedImage* s565 = dib.Image();
  dib.Reformat(5, 4, 16);
  EXPECT_NE(dib.Image(), s565);
  EXPECT_EQ(dib.PixelFormat(), DIBFormat555());
}

TEST(TDIB, ScanLineRangeAndLayout) {
  TDIB dib;
  dib.Reformat(3, 5, 24);
  ExpectError<EInvalidGraphicOperation>([&] { dib.ScanLine(5); }, "Index of the scanning line exceeded the range. (5)");
  ExpectError<EInvalidGraphicOperation>([&] { dib.ScanLine(-1); }, "Index of the scanning line exceeded the range. (-1)");
  TDIB empty;
  ExpectError<EInvalidGraphicOperation>([&] { empty.ScanLine(0); }, "Index of the scanning line exceeded the range. (0)");
  // Rows are stored bottom-up: the top row is the last in memory.
  EXPECT_EQ(dib.ScanLine(0), dib.PBits() + 4 * dib.RowBytes());
  EXPECT_EQ(dib.ScanLine(4), dib.PBits());
  EXPECT_EQ(dib.RowStep(), -12);
  EXPECT_EQ(dib.ImageSize(), 60);
}

TEST(TDIB, ReadAndWritePixelAtEveryDepth) {
  struct Case {
    int bits;
    uint32_t written, read;
  };
  const Case cases[] = {{1, 3, 1}, {4, 0x1F, 0xF}, {8, 0x1234, 0x34}, {16, 0x12345, 0x2345}, {24, 0xAABBCC, 0xAABBCC},
                        {32, 0xDEADBEEF, 0xDEADBEEF}};
  for (const Case& c : cases) {
    TDIB dib;
    if (c.bits == 16) dib.SetPendingPixelFormat(DIBFormat555());
    dib.Reformat(9, 3, c.bits);
    dib.WritePixel(1, 2, c.written);
    EXPECT_EQ(dib.ReadPixel(1, 2), c.read) << c.bits;
    EXPECT_EQ(dib.ReadPixel(0, 2), 0u) << c.bits;
    EXPECT_EQ(dib.ReadPixel(2, 2), 0u) << c.bits;
    // Outside the picture: nothing read, nothing written.
    const std::vector<uint8_t> before = dibtest::Rows(dib);
    for (auto [x, y] : {std::pair{-1, 0}, {9, 0}, {0, -1}, {0, 3}}) {
      dib.WritePixel(x, y, 0xFFFFFFFF);
      EXPECT_EQ(dib.ReadPixel(x, y), 0u);
    }
    EXPECT_EQ(dibtest::Rows(dib), before) << c.bits;
  }
  // Where the bits go inside a row.
  TDIB one;
  one.Reformat(9, 1, 1);
  one.WritePixel(0, 0, 1);
  one.WritePixel(8, 0, 1);
  EXPECT_EQ(one.ScanLine(0)[0], 0x80);
  EXPECT_EQ(one.ScanLine(0)[1], 0x80);
  TDIB four;
  four.Reformat(3, 1, 4);
  four.WritePixel(0, 0, 0xA);
  four.WritePixel(1, 0, 0xB);
  four.WritePixel(2, 0, 0xC);
  EXPECT_EQ(four.ScanLine(0)[0], 0xAB);
  EXPECT_EQ(four.ScanLine(0)[1], 0xC0);
  TDIB rgb;
  rgb.Reformat(1, 1, 24);
  rgb.WritePixel(0, 0, 0x030201);  // red 1, green 2, blue 3
  EXPECT_EQ((std::vector<int>{rgb.ScanLine(0)[0], rgb.ScanLine(0)[1], rgb.ScanLine(0)[2]}), (std::vector<int>{3, 2, 1}));
}

TEST(TDIB, SharersKeepWhatTheyReceivedWhenOneWrites) {
  TDIB a;
  a.Reformat(4, 4, 8);
  a.WritePixel(0, 0, 5);
  TDIB b;
  b.AssignFrom(&a);
  EXPECT_EQ(a.Image(), b.Image());
  EXPECT_EQ(a.Image()->RefCount(), 2);
  b.WritePixel(0, 0, 9);
  EXPECT_NE(a.Image(), b.Image());
  EXPECT_EQ(a.ReadPixel(0, 0), 5u);
  EXPECT_EQ(b.ReadPixel(0, 0), 9u);

  // ScanLine counts as a write too, and so does a colour table change.
  TDIB c;
  c.AssignFrom(&a);
  c.ScanLine(1)[0] = 42;
  EXPECT_EQ(a.ReadPixel(0, 1), 0u);
  TDIB d;
  d.AssignFrom(&a);
  d.ColorTable()[5] = {1, 2, 3, 0};
  d.ApplyColorTable();
  EXPECT_NE(d.Image(), a.Image());
  EXPECT_EQ(a.Image()->ColorTable()[5].rgbBlue, 5);
  EXPECT_EQ(d.Image()->ColorTable()[5].rgbBlue, 1);
  EXPECT_EQ(d.ReadPixel(0, 0), 5u);  // pixels came along
  EXPECT_TRUE(d.PaletteModified());

  a.AssignFrom(&a);  // itself: nothing
  a.AssignFrom(nullptr);
  EXPECT_TRUE(a.IsEmpty());
}

TEST(TDIB, AColourTableOnAnEmptyDIBLeavesTheSharedEmptyStoreAlone) {
  TDIB a, b;
  a.ColorTable()[3] = {9, 9, 9, 0};
  a.ApplyColorTable();
  EXPECT_TRUE(SameColorTable(b.Image()->ColorTable(), GreyRamp()));
  // The table is kept for the next store this DIB makes.
  a.Reformat(2, 2, 8);
  EXPECT_EQ(a.Image()->ColorTable()[3].rgbBlue, 9);
}

TEST(TDIB, PalettesAreSharedBetweenIdenticalTables) {
  const int32_t before = PaletteManager().Count();
  {
    TDIB rgb;
    rgb.Reformat(2, 2, 24);
    EXPECT_EQ(rgb.PaletteHandle(), nullptr);
    TDIB a, b, c;
    a.Reformat(2, 2, 8);
    b.Reformat(3, 1, 8);  // another store, same table
    c.Reformat(2, 2, 4);  // same first 16 entries, but fewer of them
    HPALETTE pa = a.PaletteHandle();
    ASSERT_NE(pa, nullptr);
    EXPECT_EQ(b.PaletteHandle(), pa);
    EXPECT_NE(c.PaletteHandle(), pa);
    EXPECT_EQ(PaletteManager().Count(), before + 2);
    PALETTEENTRY e[256];
    EXPECT_EQ(GetPaletteEntries(pa, 0, 256, e), 256u);
    EXPECT_EQ(e[200].peRed, 200);
    // A changed table gets its own palette on the next request.
    b.ColorTable()[7] = {0, 0, 255, 0};
    b.ApplyColorTable();
    HPALETTE pb = b.PaletteHandle();
    EXPECT_NE(pb, pa);
    GetPaletteEntries(pb, 7, 1, e);
    EXPECT_EQ(e[0].peRed, 255);
    EXPECT_EQ(e[0].peBlue, 0);
    EXPECT_EQ(PaletteManager().Count(), before + 3);
  }
  EXPECT_EQ(PaletteManager().Count(), before);
}

TEST(TPaletteManager, CountsReferencesAndDeletesAtZero) {
  TPaletteManager manager;
  RGBQUAD entries[4] = {{1, 2, 3, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {3, 2, 1, 0}};
  HPALETTE p1 = manager.AcquirePalette(entries, 4);
  HPALETTE p2 = manager.AcquirePalette(entries, 4);
  EXPECT_EQ(p1, p2);
  // Same key (same count and channel sum) but other bytes: a palette of its own.
  RGBQUAD swapped[4] = {{3, 2, 1, 0}, {4, 5, 6, 0}, {7, 8, 9, 0}, {1, 2, 3, 0}};
  HPALETTE p3 = manager.AcquirePalette(swapped, 4);
  EXPECT_NE(p3, p1);
  EXPECT_EQ(manager.Count(), 2);
  manager.ReleasePalette(p1);
  EXPECT_EQ(p1, nullptr);
  EXPECT_EQ(GetObjectType(p2), OBJ_PAL);
  HPALETTE keep = p2;
  manager.ReleasePalette(p2);
  EXPECT_EQ(GetObjectType(keep), 0u);
  EXPECT_EQ(manager.Count(), 1);
  HPALETTE none = nullptr;
  manager.ReleasePalette(none);
  EXPECT_EQ(manager.AcquirePalette(entries, 0), nullptr);
}

TEST(TDIB, SetPaletteHandleTakesTheEntriesAndTheHandle) {
  std::vector<uint8_t> block(sizeof(LOGPALETTE) + 2 * sizeof(PALETTEENTRY));
  auto* lp = reinterpret_cast<LOGPALETTE*>(block.data());
  lp->palVersion = 0x300;
  lp->palNumEntries = 2;
  lp->palPalEntry[0] = {10, 20, 30, 0};
  lp->palPalEntry[1] = {40, 50, 60, 0};
  HPALETTE palette = CreatePalette(lp);
  TDIB dib;
  dib.Reformat(2, 2, 8);
  dib.SetPaletteHandle(palette);
  EXPECT_EQ(GetObjectType(palette), 0u);
  EXPECT_EQ(dib.Image()->ColorTable()[0].rgbBlue, 30);
  EXPECT_EQ(dib.Image()->ColorTable()[1].rgbRed, 40);
  EXPECT_EQ(dib.Image()->ColorTable()[2].rgbRed, 2);  // untouched beyond the palette
  // Its own shared palette is not deleted from under the manager.
  HPALETTE own = dib.PaletteHandle();
  dib.SetPaletteHandle(own);
  EXPECT_EQ(GetObjectType(own), OBJ_PAL);
}

TEST(TDIB, CanvasDrawsOnAGdiStoreAndCopiesSharedPixelsFirst) {
  TDIB a;
  a.Reformat(4, 4, 24);
  EXPECT_TRUE(a.Image()->MemoryOnly());
  TDIB b;
  b.AssignFrom(&a);
  TCanvas* canvas = a.Canvas();
  EXPECT_FALSE(a.Image()->MemoryOnly());
  EXPECT_NE(a.Image()->DC(), nullptr);
  canvas->Brush()->SetColor(clRed);
  canvas->FillRect(Rect(0, 0, 2, 2));
  EXPECT_EQ(a.ReadPixel(1, 1), 0xFFu);  // red is the low byte
  EXPECT_EQ(a.ReadPixel(3, 3), 0u);
  EXPECT_EQ(b.ReadPixel(1, 1), 0u);
  // A store shared after the canvas exists is copied before the canvas draws on it.
  TDIB c;
  c.AssignFrom(&a);
  canvas->FillRect(Rect(2, 2, 4, 4));
  EXPECT_EQ(a.ReadPixel(3, 3), 0xFFu);
  EXPECT_EQ(c.ReadPixel(3, 3), 0u);
  // After a read into plain memory the canvas still draws.
  TMemoryStream stream;
  b.WriteImageData(stream);
  stream.SetPosition(0);
  a.ReadImageData(stream);
  canvas->FillRect(Rect(0, 0, 1, 1));
  EXPECT_EQ(a.ReadPixel(0, 0), 0xFFu);
}

TEST(TDIB, DrawToStretchesTheWholePictureFromMemoryAndFromGdi) {
  TDIB src;
  src.Reformat(2, 1, 8);
  src.ColorTable()[1] = {0, 0, 255, 0};  // red
  src.ColorTable()[2] = {255, 0, 0, 0};  // blue
  src.ApplyColorTable();
  src.WritePixel(0, 0, 1);
  src.WritePixel(1, 0, 2);
  for (bool gdi : {false, true}) {
    if (gdi) src.Canvas();
    EXPECT_EQ(src.Image()->MemoryOnly(), !gdi);
    TDIB dst;
    dst.Reformat(4, 2, 24);
    dst.Canvas()->Draw(0, 0, &src);  // at its own size
    dst.Canvas()->StretchDraw(Rect(0, 1, 4, 2), &src);
    EXPECT_EQ(dst.ReadPixel(0, 0), 0x0000FFu) << gdi;
    EXPECT_EQ(dst.ReadPixel(1, 0), 0xFF0000u) << gdi;
    EXPECT_EQ(dst.ReadPixel(2, 0), 0u) << gdi;
    EXPECT_EQ(dst.ReadPixel(1, 1), 0x0000FFu) << gdi;
    EXPECT_EQ(dst.ReadPixel(2, 1), 0xFF0000u) << gdi;
  }
  TDIB empty, dst;
  dst.Reformat(2, 2, 24);
  dst.Canvas()->Draw(0, 0, &empty);
  EXPECT_EQ(dst.ReadPixel(0, 0), 0u);
}

TEST(TDIB, AssigningAPictureConvertsItAndAssigningTheDIBSharesIt) {
  TDIB eight;
  eight.Reformat(3, 2, 8);
  eight.ColorTable()[4] = {10, 20, 30, 0};
  eight.ApplyColorTable();
  eight.WritePixel(2, 1, 4);
  TPicture picture;
  picture.SetGraphic(&eight);
  TDIB converted;
  converted.SetPendingPixelFormat(DIBFormat555());  // whatever it held before
  converted.AssignFrom(&picture);
  EXPECT_EQ(converted.BitCount(), 24);
  EXPECT_EQ(converted.Width(), 3);
  EXPECT_EQ(converted.Height(), 2);
  EXPECT_NE(converted.Image(), eight.Image());
  EXPECT_EQ(converted.ReadPixel(2, 1), 30u | (20u << 8) | (10u << 16));
  EXPECT_EQ(converted.ReadPixel(0, 0), 0u);  // index 0 of the grey ramp is black

  TDIB shared;
  shared.AssignFrom(&eight);
  EXPECT_EQ(shared.Image(), eight.Image());
  EXPECT_EQ(shared.BitCount(), 8);

  TPicture none;
  shared.AssignFrom(&none);
  EXPECT_TRUE(shared.IsEmpty());
  TFont font;
  EXPECT_THROW(shared.AssignFrom(&font), EConvertError);
}

TEST(TDIB, AssigningABitmapKeepsItsDepthAndPalette) {
  TBitmap bitmap;
  RGBQUAD colors[256] = {};
  colors[1] = {0, 0, 200, 0};
  bitmap.NewDIB(5, 3, 8, nullptr, colors, 256);
  static_cast<uint8_t*>(bitmap.ScanLine(0))[4] = 1;
  TDIB dib;
  dib.AssignFrom(&bitmap);
  EXPECT_EQ(dib.BitCount(), 8);
  EXPECT_EQ(dib.Width(), 5);
  EXPECT_EQ(dib.Height(), 3);
  EXPECT_EQ(dib.ColorTable()[1].rgbRed, 200);
  EXPECT_EQ(dib.ReadPixel(4, 0), 1u);
  EXPECT_EQ(dib.ReadPixel(3, 0), 0u);

  TBitmap sixteen;
  const DWORD masks[3] = {0xF800, 0x7E0, 0x1F};
  sixteen.NewDIB(2, 2, 16, masks, nullptr, 0);
  TDIB d16;
  d16.AssignFrom(&sixteen);
  EXPECT_EQ(d16.BitCount(), 16);
  EXPECT_EQ(d16.PixelFormat(), DIBFormat565());
}

TEST(TDIB, IsRegisteredWithThePictureContainer) {
  EXPECT_EQ(TPicture::FindGraphicClass("TDIB").ClassName(), "TDIB");
  EXPECT_EQ(GraphicExtension(TGraphicClass::Of<TDIB>()), "dib");
  EXPECT_NE(GraphicFilter().find("Device Independent Bitmap"), std::string::npos);
  EXPECT_TRUE(TPicture::SupportsClipboardFormat(8));
  FinalizeDIBUnit();
  EXPECT_FALSE(TPicture::FindGraphicClass("TDIB").Assigned());
  InitializeDIBUnit();
  InitializeDIBUnit();
  EXPECT_TRUE(TPicture::FindGraphicClass("TDIB").Assigned());
  TDIB after;  // a fresh empty store after the shut-down
  EXPECT_TRUE(after.IsEmpty());
}
