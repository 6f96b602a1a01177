// The graphic base, the picture container with its registry of graphic classes and its
// stored "Data" form, the clipboard form of bitmaps, colours and fonts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/Clipbrd.h"
#include "runtime/GlobalMemory.h"
#include "runtime/Graphics.h"

namespace {

std::string TempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "/pellora_picture_" + std::to_string(::getpid()) + "_" + name;
}

// A graphic that is just a number, to exercise the registry without pixels.
class TNumberGraphic : public TGraphic {
 public:
  PELLORA_CLASS_NAME(TNumberGraphic)
  int32_t Value = 0;
  void AssignFrom(const TPersistent* Source) override {
    if (const auto* n = dynamic_cast<const TNumberGraphic*>(Source)) {
      Value = n->Value;
      Changed(this);
      return;
    }
    TGraphic::AssignFrom(Source);
  }
  void DrawTo(TCanvas*, const TRect&) override {}
  bool IsEmpty() const override { return Value == 0; }
  int32_t Width() const override { return Value; }
  int32_t Height() const override { return 1; }
  void ChangeWidth(int32_t v) override { Value = v; }
  void ChangeHeight(int32_t) override {}
  void LoadFromFileStream(TStream& s) override { s.ReadBuffer(&Value, 4); }
  void SaveToFileStream(TStream& s) override { s.WriteBuffer(&Value, 4); }
  void ReadClipboardData(uint16_t, HGLOBAL, HPALETTE) override {}
  void WriteClipboardData(uint16_t&, HGLOBAL&, HPALETTE&) override {}
  void Report() { Progress(this, psRunning, 50, false, Rect(0, 0, 1, 1), "half"); }
};

class NumberGraphicRegistered : public ::testing::Test {
 protected:
  void SetUp() override { TPicture::RegisterFileFormat("NUM", "Numbers", TGraphicClass::Of<TNumberGraphic>()); }
  void TearDown() override { TPicture::UnregisterGraphicClass(TGraphicClass::Of<TNumberGraphic>()); }
};

// Records what a class defines for the stored design.
class TRecordingFiler : public TFiler {
 public:
  struct TEntry {
    std::string Name;
    TStreamProc Read, Write;
    bool HasData;
  };
  std::vector<TEntry> Entries;
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override {
    Entries.push_back({Name, std::move(ReadData), std::move(WriteData), HasData});
  }
};

std::unique_ptr<TBitmap> MakeBitmap(int w, int h) {
  auto bp = std::make_unique<TBitmap>();
  TBitmap& b = *bp;
  b.NewDIB(w, h, 24, nullptr, nullptr, 0);
  for (int y = 0; y < h; ++y) {
    auto* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < w; ++x) {
      row[3 * x] = static_cast<uint8_t>(x * 40);
      row[3 * x + 1] = static_cast<uint8_t>(y * 40);
      row[3 * x + 2] = 200;
    }
  }
  return bp;
}

std::vector<uint8_t> PictureData(const TPicture& p) {
  TMemoryStream s;
  p.WriteData(s);
  return s.Bytes();
}

TEST(PictureRegistry, BitmapsAreKnownByExtensionInAnyCaseAndByClassName) {
  const std::string path = TempPath("Ball.BMP");
  auto bHolder = MakeBitmap(4, 3);
  TBitmap& b = *bHolder;
  b.SaveToFile(path);
  TPicture p;
  p.LoadFromFile(path);
  ASSERT_NE(dynamic_cast<TBitmap*>(p.Graphic()), nullptr);
  EXPECT_EQ(p.Width(), 4);
  EXPECT_EQ(p.Height(), 3);
  EXPECT_TRUE(TPicture::FindGraphicClass("TBitmap").Assigned());
  EXPECT_TRUE(TPicture::FindGraphicClass("tbitmap").Assigned());
  EXPECT_FALSE(TPicture::FindGraphicClass("TNothing").Assigned());
  std::remove(path.c_str());
}

TEST(PictureRegistry, AnUnknownExtensionIsRefusedByNameAndTheOldGraphicStays) {
  TPicture p;
  auto bHolder = MakeBitmap(2, 2);
  TBitmap& b = *bHolder;
  p.SetGraphic(&b);
  for (const auto& [file, ext] : std::vector<std::pair<std::string, std::string>>{
           {"ball.png", "png"}, {"ball", ""}, {"dir.v2/ball", ""}, {"ball.Jpeg", "Jpeg"}}) {
    try {
      p.LoadFromFile(file);
      FAIL() << file;
    } catch (const EInvalidGraphic& e) {
      EXPECT_EQ(e.Message(), "Unknown picture file extension (." + ext + ")");
    }
  }
  EXPECT_EQ(p.Width(), 2);
}

TEST_F(NumberGraphicRegistered, FiltersListTheRegisteredFormatsAndUnregisteringRemovesThem) {
  EXPECT_EQ(GraphicFilter(TGraphicClass::Of<TBitmap>()), "Bitmaps (*.bmp)|*.bmp");
  const std::string all = GraphicFilter();
  EXPECT_EQ(all.rfind("All (*.bmp;", 0), 0u) << all;
  EXPECT_NE(all.find("|Numbers (*.num)|*.num"), std::string::npos) << all;
  EXPECT_EQ(GraphicExtension(TGraphicClass::Of<TNumberGraphic>()), "num");
  EXPECT_NE(GraphicFileMask().find("*.num"), std::string::npos);
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TNumberGraphic>());
  EXPECT_EQ(GraphicFilter().find("Numbers"), std::string::npos);
  EXPECT_FALSE(TPicture::FindGraphicClass("TNumberGraphic").Assigned());
  EXPECT_THROW(TPicture().LoadFromFile("x.num"), EInvalidGraphic);
}

TEST_F(NumberGraphicRegistered, TheLatestRegistrationOfAnExtensionWins) {
  const std::string path = TempPath("seven.bmp");
  {
    TFileStream f(path, fmCreate);
    const int32_t seven = 7;
    f.WriteBuffer(&seven, 4);
  }
  TPicture::RegisterFileFormat(".bmp", "Numbers too", TGraphicClass::Of<TNumberGraphic>());
  TPicture p;
  p.LoadFromFile(path);
  auto* n = dynamic_cast<TNumberGraphic*>(p.Graphic());
  ASSERT_NE(n, nullptr);
  EXPECT_EQ(n->Value, 7);
  TPicture::UnregisterGraphicClass(TGraphicClass::Of<TNumberGraphic>());
  TPicture q;
  EXPECT_THROW(q.LoadFromFile(path), EReadError);  // a bitmap reader again, and 4 bytes are no bitmap
  std::remove(path.c_str());
}

TEST(PictureData, RoundTripsTheClassNameAndTheBitmap) {
  TPicture p;
  auto bHolder = MakeBitmap(5, 3);
  TBitmap& b = *bHolder;
  p.SetGraphic(&b);
  const std::vector<uint8_t> data = PictureData(p);
  ASSERT_GT(data.size(), 12u);
  EXPECT_EQ(data[0], 7);
  EXPECT_EQ(std::string(data.begin() + 1, data.begin() + 8), "TBitmap");
  uint32_t size = 0;
  std::memcpy(&size, data.data() + 8, 4);
  EXPECT_EQ(size, data.size() - 12);
  EXPECT_EQ(data[12], 'B');
  EXPECT_EQ(data[13], 'M');

  TPicture q;
  TCustomMemoryStream in(const_cast<uint8_t*>(data.data()), static_cast<int64_t>(data.size()));
  q.ReadData(in);
  ASSERT_NE(dynamic_cast<TBitmap*>(q.Graphic()), nullptr);
  EXPECT_TRUE(q.Graphic()->Equals(p.Graphic()));
  EXPECT_EQ(PictureData(q), data);
  EXPECT_EQ(in.Position(), in.Size());
}

TEST(PictureData, AnEmptyPictureIsOneZeroByteAndReadsBackEmpty) {
  TPicture p;
  EXPECT_EQ(PictureData(p), std::vector<uint8_t>{0});
  auto bHolder = MakeBitmap(1, 1);
  TBitmap& b = *bHolder;
  TPicture q;
  q.SetGraphic(&b);
  TMemoryStream zero;
  zero.WriteBuffer("\0", 1);
  zero.SetPosition(0);
  q.ReadData(zero);
  EXPECT_EQ(q.Graphic(), nullptr);
}

TEST(PictureData, MalformedDataIsRefusedAndThePictureKeepsItsGraphic) {
  auto keepHolder = MakeBitmap(3, 3);
  TBitmap& keep = *keepHolder;
  const std::vector<uint8_t> good = [&] {
    TPicture p;
    p.SetGraphic(&keep);
    return PictureData(p);
  }();
  struct TCase {
    const char* What;
    std::vector<uint8_t> Bytes;
    bool ReadError;
  };
  std::vector<TCase> cases = {
      {"name longer than the data", {200, 'T', 'B', 'i'}, true},
      {"unknown class", {5, 'T', 'N', 'o', 'p', 'e', 0, 0, 0, 0}, false},
      {"class known, body missing", {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'}, true},
      {"bitmap size beyond the data", {}, true},
      {"bitmap body not a bitmap", {}, false},
  };
  cases[3].Bytes = good;
  cases[3].Bytes[8] = 0xFF;  // size low byte: more than follows
  cases[3].Bytes[9] = 0xFF;
  cases[4].Bytes = good;
  cases[4].Bytes[12] = 'X';  // "XM"
  for (TCase& c : cases) {
    SCOPED_TRACE(c.What);
    TPicture p;
    p.SetGraphic(&keep);
    TCustomMemoryStream in(c.Bytes.data(), static_cast<int64_t>(c.Bytes.size()));
    try {
      p.ReadData(in);
      ADD_FAILURE() << "accepted";
    } catch (const EReadError& e) {
      EXPECT_TRUE(c.ReadError) << e.Message();
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.ReadError) << e.Message();
      if (std::string(c.What) == "unknown class") {
        EXPECT_EQ(e.Message(), "Unknown graphic class TNope");
      }
    }
    ASSERT_NE(p.Graphic(), nullptr);
    EXPECT_EQ(p.Width(), 3);
  }
}

TEST(PictureData, PicturesAndGraphicsDefineDataOnlyWhenTheyHaveSome) {
  TPicture p;
  TRecordingFiler empty;
  p.DefineProperties(empty);
  ASSERT_EQ(empty.Entries.size(), 1u);
  EXPECT_EQ(empty.Entries[0].Name, "Data");
  EXPECT_FALSE(empty.Entries[0].HasData);

  auto bHolder = MakeBitmap(2, 2);
  TBitmap& b = *bHolder;
  p.SetGraphic(&b);
  TRecordingFiler full;
  p.DefineProperties(full);
  ASSERT_TRUE(full.Entries[0].HasData);
  // The filer's procedures are the picture's own Data form.
  TMemoryStream s;
  full.Entries[0].Write(s);
  EXPECT_EQ(s.Bytes(), PictureData(p));

  // Equal to the ancestor: nothing to write.
  TPicture ancestor;
  ancestor.SetGraphic(&b);
  TRecordingFiler inherited;
  inherited.SetAncestor(&ancestor);
  p.DefineProperties(inherited);
  EXPECT_FALSE(inherited.Entries[0].HasData);

  TRecordingFiler graphicFiler;
  b.DefineProperties(graphicFiler);
  ASSERT_EQ(graphicFiler.Entries.size(), 1u);
  EXPECT_TRUE(graphicFiler.Entries[0].HasData);
}

TEST(Picture, AssignCopiesAndTheCopyIsIndependent) {
  TPicture a;
  auto bHolder = MakeBitmap(4, 4);
  TBitmap& b = *bHolder;
  a.SetGraphic(&b);
  TPicture c;
  c.Assign(&a);
  ASSERT_NE(c.Graphic(), a.Graphic());
  EXPECT_TRUE(c.Graphic()->Equals(a.Graphic()));
  // Drawing on the copy leaves the original as it was.
  TBitmap* cb = c.Bitmap();
  cb->Canvas()->Brush()->SetColor(clLime);
  cb->Canvas()->FillRect(Rect(0, 0, 4, 4));
  EXPECT_EQ(static_cast<TBitmap*>(a.Graphic())->Canvas()->Pixels(0, 0), static_cast<TColor>(RGB(200, 0, 0)));
  EXPECT_EQ(cb->Canvas()->Pixels(0, 0), clLime);
  EXPECT_EQ(b.Canvas()->Pixels(0, 0), static_cast<TColor>(RGB(200, 0, 0)));
  c.Assign(nullptr);
  EXPECT_EQ(c.Graphic(), nullptr);
  TFont font;
  EXPECT_THROW(c.Assign(&font), EConvertError);
}

TEST(Picture, OnChangeFollowsTheGraphicAndProgressReachesOnlyAssignedHandlers) {
  TPicture p;
  int changes = 0;
  p.SetOnChange([&](TObject* s) {
    EXPECT_EQ(s, &p);
    ++changes;
  });
  auto bHolder = MakeBitmap(2, 2);
  TBitmap& b = *bHolder;
  p.SetGraphic(&b);
  EXPECT_EQ(changes, 1);
  p.Bitmap()->Canvas()->SetPixels(0, 0, clRed);
  EXPECT_EQ(changes, 2);
  EXPECT_TRUE(p.Graphic()->Modified());

  TNumberGraphic n;
  n.Report();  // no handler: nothing happens, nothing breaks
  int reports = 0;
  n.SetOnProgress([&](TObject* s, TProgressStage st, uint8_t pct, bool redraw, const TRect& r, const std::string& m) {
    EXPECT_EQ(s, &n);
    EXPECT_EQ(st, psRunning);
    EXPECT_EQ(pct, 50);
    EXPECT_FALSE(redraw);
    EXPECT_EQ(r, Rect(0, 0, 1, 1));
    EXPECT_EQ(m, "half");
    ++reports;
  });
  n.Report();
  EXPECT_EQ(reports, 1);
  n.SetModified(false);
  EXPECT_FALSE(n.Modified());
  n.SetTransparent(true);
  EXPECT_TRUE(n.Modified());
}

TEST(BitmapClipboard, ADibGoesThroughTheClipboardAndComesBackEqual) {
  // The clipboard is the process's; whatever other tests left on it goes first.
  Clipboard()->Clear();
  const size_t blocks = GlobalBlockCount();
  TBitmap b;
  const RGBQUAD colors[4] = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
  b.NewDIB(6, 2, 8, nullptr, colors, 4);
  static_cast<uint8_t*>(b.ScanLine(0))[1] = 2;
  static_cast<uint8_t*>(b.ScanLine(1))[5] = 3;
  Clipboard()->AssignGraphic(&b);
  EXPECT_TRUE(Clipboard()->HasFormat(CF_DIB));
  EXPECT_TRUE(Clipboard()->HasFormat(CF_PALETTE));
  TPicture p;
  Clipboard()->AssignToPicture(&p);
  auto* got = dynamic_cast<TBitmap*>(p.Graphic());
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(got->BitCount(), 8);
  EXPECT_EQ(got->GetBitmapData().Bits, b.GetBitmapData().Bits);
  EXPECT_EQ(got->Canvas()->Pixels(1, 0), clLime);
  EXPECT_EQ(got->Canvas()->Pixels(5, 1), clBlue);
  Clipboard()->Clear();
  EXPECT_EQ(GlobalBlockCount(), blocks);
  EXPECT_THROW(Clipboard()->AssignToPicture(&p), EInvalidGraphic);
  // A block that is not a bitmap is refused, not followed.
  HGLOBAL junk = GlobalAlloc(GHND, 6);
  TBitmap c;
  EXPECT_THROW(c.LoadFromClipboardFormat(CF_DIB, junk, nullptr), EInvalidGraphic);
  EXPECT_THROW(c.LoadFromClipboardFormat(CF_TEXT, junk, nullptr), EInvalidGraphic);
  GlobalFree(junk);
}

TEST(Colors, SystemColoursMapThroughTheDesktopScheme) {
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clNavy), 0x800000u);
  EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0u);
  EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFFu);
  EXPECT_EQ(ColorToRGB(clWindowText), 0u);
  EXPECT_LT(clBtnFace, 0);
  EXPECT_EQ(static_cast<uint32_t>(clBtnFace), 0x8000000Fu);
}

TEST(Fonts, SizeAndHeightFollowEachOtherAtNinetySixDotsPerInch) {
  TFont f;
  EXPECT_EQ(f.Name(), "MS Sans Serif");
  EXPECT_EQ(f.Size(), 8);
  EXPECT_EQ(f.Height(), -11);
  EXPECT_EQ(f.Color(), clWindowText);
  int changes = 0;
  f.SetOnChange([&](TObject*) { ++changes; });
  f.SetSize(12);
  EXPECT_EQ(f.Height(), -16);
  EXPECT_EQ(f.Size(), 12);
  f.SetSize(12);  // unchanged: no notice
  EXPECT_EQ(changes, 1);
  f.SetHeight(-24);
  EXPECT_EQ(f.Size(), 18);
  f.SetStyle({fsBold, fsItalic});
  EXPECT_TRUE(f.Style().Contains(fsBold));
  EXPECT_FALSE(f.Style().Contains(fsUnderline));
  EXPECT_NE(f.Handle(), nullptr);
  TFont g;
  g.Assign(&f);
  EXPECT_EQ(g.Height(), -24);
  EXPECT_EQ(g.Style(), f.Style());
}

}  // namespace
