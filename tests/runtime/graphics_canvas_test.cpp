// The canvas on a device context, drawn on tiny bitmaps with exact pixel checks, and
// the bitmap's copy-on-write canvas.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Graphics.h"
#include "support/Png.h"

namespace {

void Fill(TBitmap& b, TColor color) {
  b.Canvas()->Brush()->SetColor(color);
  b.Canvas()->FillRect(Rect(0, 0, b.Width(), b.Height()));
}

std::unique_ptr<TBitmap> Make(int w, int h, TPixelFormat format, TColor color) {
  auto b = std::make_unique<TBitmap>();
  b->SetPixelFormat(format);
  b->SetSize(w, h);
  Fill(*b, color);
  return b;
}

TEST(Canvas, FillRectCoversTheRectangleWithoutItsRightAndBottomEdges) {
  auto b = Make(6, 5, pf24bit, clBlack);
  b->Canvas()->Brush()->SetColor(clYellow);
  b->Canvas()->FillRect(Rect(1, 1, 4, 3));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x < 4 && y >= 1 && y < 3;
      ASSERT_EQ(b->Canvas()->Pixels(x, y), inside ? clYellow : clBlack) << x << "," << y;
    }
  // A clear brush fills nothing.
  b->Canvas()->Brush()->SetStyle(bsClear);
  b->Canvas()->FillRect(Rect(0, 0, 6, 5));
  EXPECT_EQ(b->Canvas()->Pixels(0, 0), clBlack);
  EXPECT_EQ(b->Canvas()->Pixels(2, 2), clYellow);
}

TEST(Canvas, TextWithAClearBrushLeavesTheBackgroundAndASolidBrushPaintsIt) {
  auto b = Make(80, 30, pf24bit, clBlack);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetColor(clRed);
  c->Font()->SetSize(12);
  const SIZE extent = c->TextExtent("Hi");
  ASSERT_GT(extent.cx, 4);
  ASSERT_GT(extent.cy, 8);
  c->TextOut(5, 5, "Hi");
  int red = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 80; ++x) {
      const COLORREF p = static_cast<COLORREF>(c->Pixels(x, y));
      // Only shades of the text colour over black: no box behind the letters.
      ASSERT_EQ(GetGValue(p), 0) << x << "," << y;
      ASSERT_EQ(GetBValue(p), 0) << x << "," << y;
      if (GetRValue(p) > 200) ++red;
      if (x < 5 || y < 5 || x >= 5 + extent.cx || y >= 5 + extent.cy) {
        ASSERT_EQ(p, 0u) << x << "," << y;
      }
    }
  EXPECT_GT(red, 10);
  EXPECT_EQ(c->PenPos().x, 5 + extent.cx);

  auto o = Make(80, 30, pf24bit, clBlack);
  o->Canvas()->Brush()->SetColor(clWhite);
  o->Canvas()->Font()->SetColor(clRed);
  o->Canvas()->TextOut(5, 5, "Hi");
  const SIZE box = o->Canvas()->TextExtent("Hi");
  // Where the letters are not, the opaque background shows white.
  EXPECT_EQ(o->Canvas()->Pixels(5, 5), clWhite);
  EXPECT_EQ(o->Canvas()->Pixels(5 + box.cx - 1, 5 + box.cy - 1), clWhite);
  EXPECT_EQ(o->Canvas()->Pixels(5 + box.cx, 5), clBlack);
}

TEST(Canvas, DrawPutsABitmapAtAnOffsetAndStretchDrawScalesIt) {
  auto src = Make(3, 2, pf24bit, clBlack);
  const TColor colors[2][3] = {{clRed, clLime, clBlue}, {clWhite, clYellow, clAqua}};
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) src->Canvas()->SetPixels(x, y, colors[y][x]);
  auto dst = Make(10, 8, pf24bit, clGray);
  dst->Canvas()->Draw(5, 4, src.get());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool in = x >= 5 && x < 8 && y >= 4 && y < 6;
      ASSERT_EQ(dst->Canvas()->Pixels(x, y), in ? colors[y - 4][x - 5] : clGray) << x << "," << y;
    }
  dst->Canvas()->StretchDraw(Rect(0, 0, 6, 4), src.get());
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(5, 3), clAqua);
  EXPECT_EQ(dst->Canvas()->Pixels(2, 2), clYellow);
  EXPECT_EQ(dst->Canvas()->Pixels(0, 3), clWhite);

  // A paletted picture keeps its colours when drawn on a true-colour one.
  TBitmap pal;
  const RGBQUAD table[2] = {{0, 0, 0, 0}, {0, 128, 255, 0}};
  pal.NewDIB(2, 1, 1, nullptr, table, 2);
  static_cast<uint8_t*>(pal.ScanLine(0))[0] = 0x40;  // pixels 0, 1
  dst->Canvas()->Draw(0, 7, &pal);
  EXPECT_EQ(dst->Canvas()->Pixels(0, 7), clBlack);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 7), static_cast<TColor>(RGB(255, 128, 0)));
}

TEST(Canvas, TransparentBitmapsLeaveTheirTransparentColourOut) {
  auto sprite = Make(3, 3, pf24bit, clBlack);
  sprite->Canvas()->SetPixels(1, 1, clRed);
  sprite->SetTransparent(true);
  EXPECT_EQ(sprite->TransparentColor(), clBlack);  // the bottom-left pixel by default
  auto dst = Make(5, 5, pf24bit, clBlue);
  dst->Canvas()->Draw(1, 1, sprite.get());
  EXPECT_EQ(dst->Canvas()->Pixels(2, 2), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clBlue);
  EXPECT_EQ(dst->Canvas()->Pixels(3, 3), clBlue);
}

TEST(Canvas, OnChangingComesBeforeEveryDrawingCallAndOnChangeAfter) {
  auto b = Make(4, 4, pf24bit, clBlack);
  TCanvas* c = b->Canvas();
  std::vector<std::string> events;
  TColor seenBefore = -1;
  c->SetOnChanging([&](TObject* s) {
    EXPECT_EQ(s, c);
    events.push_back("changing");
    seenBefore = c->Pixels(0, 0);
  });
  c->SetOnChange([&](TObject*) { events.push_back("change"); });
  c->SetPixels(0, 0, clWhite);
  EXPECT_EQ(seenBefore, clBlack);  // nothing was drawn yet when it was told
  c->FillRect(Rect(0, 0, 1, 1));
  c->TextOut(0, 0, "x");
  c->MoveTo(0, 0);  // moving draws nothing
  c->LineTo(3, 3);
  c->Rectangle(0, 0, 2, 2);
  auto other = Make(2, 2, pf24bit, clRed);
  c->Draw(0, 0, other.get());
  c->CopyRect(Rect(0, 0, 1, 1), other->Canvas(), Rect(0, 0, 1, 1));
  const std::vector<std::string> pair = {"changing", "change"};
  ASSERT_EQ(events.size(), 14u);
  for (size_t i = 0; i < events.size(); i += 2) {
    EXPECT_EQ(std::vector<std::string>(events.begin() + i, events.begin() + i + 2), pair) << i;
  }
}

TEST(Canvas, LinesRectanglesAndCopyRect) {
  auto b = Make(6, 6, pf24bit, clWhite);
  TCanvas* c = b->Canvas();
  c->Pen()->SetColor(clRed);
  c->MoveTo(0, 0);
  c->LineTo(5, 0);
  EXPECT_EQ(c->Pixels(0, 0), clRed);
  EXPECT_EQ(c->Pixels(4, 0), clRed);
  EXPECT_EQ(c->Pixels(5, 0), clWhite);  // the end point is not drawn
  c->Brush()->SetColor(clLime);
  c->Rectangle(1, 2, 5, 6);
  EXPECT_EQ(c->Pixels(1, 2), clRed);   // outline with the pen
  EXPECT_EQ(c->Pixels(2, 3), clLime);  // inside with the brush
  auto dst = Make(3, 3, pf24bit, clBlack);
  dst->Canvas()->CopyRect(Rect(0, 0, 3, 3), c, Rect(1, 2, 4, 5));
  EXPECT_EQ(dst->Canvas()->Pixels(0, 0), clRed);
  EXPECT_EQ(dst->Canvas()->Pixels(1, 1), clLime);
  EXPECT_EQ(c->Pixels(-1, 0), static_cast<TColor>(CLR_INVALID));
}

// A canvas that fetches its DC only when drawing starts, as a display surface's does.
class TOnDemandCanvas : public TCanvas {
 public:
  explicit TOnDemandCanvas(TBitmap* b) : FBitmap(b) {}
  int Requests = 0;
  void Release() {
    HDC dc = PeekHandle();
    SetHandle(nullptr);
    if (dc != nullptr) {
      SelectObject(dc, FOld);
      DeleteDC(dc);
    }
  }
  ~TOnDemandCanvas() override { Release(); }

 protected:
  void CreateHandle() override {
    ++Requests;
    HDC dc = CreateCompatibleDC(nullptr);
    FOld = SelectObject(dc, FBitmap->Handle());
    SetHandle(dc);
  }

 private:
  TBitmap* FBitmap;
  HGDIOBJ FOld = nullptr;
};

TEST(Canvas, AskesForAHandleWhenDrawingStartsAndAgainAfterLettingGo) {
  TBitmap b;
  b.NewDIB(4, 4, 32, nullptr, nullptr, 0);
  TOnDemandCanvas c(&b);
  EXPECT_FALSE(c.HandleAllocated());
  c.Brush()->SetColor(clRed);
  c.FillRect(Rect(0, 0, 2, 2));
  c.Font()->SetSize(20);  // changing the font while the DC is held is fine
  c.TextOut(0, 0, "");
  EXPECT_EQ(c.Requests, 1);
  c.Release();
  EXPECT_FALSE(c.HandleAllocated());
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  c.SetPixels(3, 3, clBlue);
  EXPECT_EQ(c.Requests, 2);
  c.Release();
  EXPECT_EQ(b.Canvas()->Pixels(3, 3), clBlue);
  // A plain canvas with no DC cannot draw and says so.
  TCanvas none;
  EXPECT_THROW(none.FillRect(Rect(0, 0, 1, 1)), EInvalidOperation);
}

TEST(BitmapSharing, AssignedBitmapsShareUntilOneDraws) {
  auto a = Make(3, 3, pf24bit, clRed);
  TBitmap b;
  b.Assign(a.get());
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clRed);
  b.Canvas()->SetPixels(1, 1, clBlue);
  EXPECT_EQ(b.Canvas()->Pixels(1, 1), clBlue);
  EXPECT_EQ(a->Canvas()->Pixels(1, 1), clRed);
  a->Canvas()->SetPixels(0, 0, clLime);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), clRed);
  // ScanLine writes are private too.
  TBitmap c;
  c.Assign(a.get());
  static_cast<uint8_t*>(c.ScanLine(2))[0] = 0x77;
  EXPECT_EQ(a->Canvas()->Pixels(0, 2), clRed);
  EXPECT_THROW(c.ScanLine(3), EInvalidGraphicOperation);
  EXPECT_THROW(c.ScanLine(-1), EInvalidGraphicOperation);
}

TEST(BitmapShape, SizeAndPixelFormatChangesKeepThePicture) {
  auto b = Make(4, 4, pf24bit, clBlack);
  b->Canvas()->SetPixels(1, 1, clRed);
  b->SetSize(6, 3);
  EXPECT_EQ(b->Width(), 6);
  EXPECT_EQ(b->Height(), 3);
  EXPECT_EQ(b->Canvas()->Pixels(1, 1), clRed);
  b->SetPixelFormat(pf16bit);
  EXPECT_EQ(b->BitCount(), 16);
  EXPECT_EQ(b->Canvas()->Pixels(1, 1), clRed);
  b->SetPixelFormat(pf8bit);
  EXPECT_EQ(b->BitCount(), 8);
  EXPECT_NE(b->PaletteHandle(), nullptr);
  EXPECT_EQ(b->Canvas()->Pixels(1, 1), clRed);
  b->SetWidth(0);
  EXPECT_TRUE(b->IsEmpty());
  TBitmap ddb;  // a new bitmap of the device's kind
  ddb.SetSize(2, 2);
  EXPECT_EQ(ddb.HandleType(), bmDDB);
  Fill(ddb, clLime);
  TMemoryStream s;
  ddb.SaveToStream(s);
  s.SetPosition(0);
  TBitmap back;
  back.LoadFromStream(s);
  EXPECT_EQ(back.HandleType(), bmDIB);
  EXPECT_EQ(back.Canvas()->Pixels(1, 1), clLime);
}

TEST(Render, PelloraInTwelvePointBlueOnBlackSixteenBits) {
  auto b = Make(160, 48, pf16bit, clBlack);
  TCanvas* c = b->Canvas();
  c->Brush()->SetStyle(bsClear);
  c->Font()->SetSize(12);
  c->Font()->SetColor(static_cast<TColor>(0xFF0000));
  c->TextOut(20, 20, "Pellora");
  int blue = 0;
  for (int y = 0; y < b->Height(); ++y)
    for (int x = 0; x < b->Width(); ++x) {
      const COLORREF p = static_cast<COLORREF>(c->Pixels(x, y));
      EXPECT_EQ(p & 0x00FFFF, 0u) << "not blue over black at " << x << "," << y;
      if (GetBValue(p) > 200) ++blue;
    }
  EXPECT_GT(blue, 40);
  const std::filesystem::path dir = std::filesystem::path(PELLORA_SOURCE_DIR) / "build-pic/renders";
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(WritePngFromBitmap((dir / "canvas_pellora_12pt_blue_16bit.png").string(), b->Handle()));
  b->SaveToFile((dir / "canvas_pellora_12pt_blue_16bit.bmp").string());
}

}  // namespace

namespace {

// The same caption through a plain canvas on a buffer DC, the way a display surface's
// device context is drawn on: 5-6-5 words in memory that the canvas does not own.
TEST(Render, PelloraOnASixteenBitBufferDC) {
  const int w = 160, h = 48;
  std::vector<uint16_t> pixels(static_cast<size_t>(w) * h, 0);
  HDC dc = CreateBufferDC(pixels.data(), w, h, w * 2, 16, nullptr, nullptr, 0);
  ASSERT_NE(dc, nullptr);
  {
    TCanvas c;
    c.SetHandle(dc);
    c.Brush()->SetStyle(bsClear);
    c.Font()->SetSize(12);
    c.Font()->SetColor(static_cast<TColor>(0xFF0000));
    c.TextOut(20, 20, "Pellora");
    c.SetHandle(nullptr);  // let go before the memory is read, as a surface's canvas does
  }
  int lit = 0;
  for (uint16_t p : pixels) {
    ASSERT_EQ(p & 0xFFE0, 0) << "only the blue bits of 5-6-5 may be set";
    if ((p & 0x1F) >= 0x18) ++lit;
  }
  EXPECT_GT(lit, 40);
  const std::filesystem::path dir = std::filesystem::path(PELLORA_SOURCE_DIR) / "build-pic/renders";
  std::filesystem::create_directories(dir);
  EXPECT_TRUE(WritePngFromDC((dir / "canvas_pellora_12pt_blue_bufferdc565.png").string(), dc));
  DeleteDC(dc);
}

}  // namespace
