// The sprite image list on a real (headless) display: cutting pictures into patterns and
// surfaces, drawing, colour keys, the colour table, its stored forms, and following the
// display through start, loss of surfaces and stop.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "display/DXClass.h"
#include "display/DXDraws.h"
#include "display/DXImageList.h"
#include "image/DIB.h"
#include "platform/ddraw/DDraw.h"
#include "runtime/DesignReader.h"
#include "runtime/DesignsRegistry.h"
#include "runtime/forms_fixture.h"
#include "support/Png.h"

namespace {

RGBQUAD Quad(BYTE Red, BYTE Green, BYTE Blue) { return RGBQUAD{Blue, Green, Red, 0}; }

bool SameQuad(const RGBQUAD& A, const RGBQUAD& B) {
  return A.rgbBlue == B.rgbBlue && A.rgbGreen == B.rgbGreen && A.rgbRed == B.rgbRed &&
         A.rgbReserved == B.rgbReserved;
}

// An 8-bit DIB whose pixel (x, y) has index Index(x, y); entry i of its colour table is
// Colour(i).
template <class IndexFn, class ColourFn>
std::unique_ptr<TDIB> MakeDIB(int W, int H, IndexFn Index, ColourFn Colour) {
  auto dib = std::make_unique<TDIB>();
  for (int i = 0; i < 256; ++i) dib->ColorTable()[static_cast<size_t>(i)] = Colour(i);
  dib->Reformat(W, H, 8);
  dib->ApplyColorTable();
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) dib->WritePixel(x, y, static_cast<uint32_t>(Index(x, y)));
  return dib;
}

// Column x of a strip shows grey level x mod 250 + 1, so a block's first column tells
// which part of the picture it holds, and no pixel is the black colour key.
std::unique_ptr<TDIB> Strip(int W, int H) {
  return MakeDIB(
      W, H, [](int x, int) { return x % 250 + 1; },
      [](int i) { return Quad(static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i)); });
}

// A form with a display and an image list, stored as the scene stores them.
class TImageListForm : public TDXForm {
 public:
  PELLORA_CLASS_NAME(TImageListForm)
  explicit TImageListForm(TComponent* AOwner) : TDXForm(AOwner) {}
  TDXDraw* DXDraw = nullptr;
  TDXImageList* ImageList = nullptr;
};

const bool registered = [] {
  RegisterComponentClass<TImageListForm, TDXForm>()
      .Field("DXDraw", &TImageListForm::DXDraw)
      .Field("ImageList", &TImageListForm::ImageList);
  return true;
}();

// The display in a window with the blit driver; ListBody goes inside the image list.
std::string Design(const std::string& ListBody = "") {
  return R"(object ImageListForm: TImageListForm
  Left = 0
  Top = 0
  Caption = 'Image list'
  ClientWidth = 320
  ClientHeight = 240
  object DXDraw: TDXDraw
    Left = 0
    Top = 0
    Width = 320
    Height = 240
    AutoInitialize = False
    AutoSize = True
    Display.BitCount = 16
    Display.FixedBitCount = False
    Display.Width = 800
    Display.Height = 600
    Options = [doAllowReboot, doWaitVBlank, doCenter, doFlip]
  end
  object ImageList: TDXImageList
)" + ListBody + R"(  end
end
)";
}

class ImageListTest : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();
    headless::SetScreenSize(1024, 768);
    ddraw::ResetDirectDrawSettings();
    Form = Open(Design());
    DXDraw = Form->DXDraw;
    List = Form->ImageList;
  }
  void TearDown() override {
    HeadlessForms::TearDown();
    ddraw::ResetDirectDrawSettings();
    ReleaseLibraries();
  }

  TImageListForm* Open(const std::string& Text) {
    TImageListForm* form = MakeForm<TImageListForm>(Text);
    form->Show();
    Pump();
    return form;
  }

  void Start() {
    DXDraw->Initialize();
    ASSERT_TRUE(DXDraw->Initialized());
  }

  TPictureCollectionItem* AddItem(const TGraphic& Graphic) {
    TPictureCollectionItem* item = List->Items()->Add();
    item->Picture()->SetGraphic(&Graphic);
    return item;
  }

  // The running display's pixel value for a grey level, as a surface of the item holds it.
  DWORD Grey(TDirectDrawSurface* S, int Level) {
    return S->MatchColor(RGB(static_cast<BYTE>(Level), static_cast<BYTE>(Level), static_cast<BYTE>(Level)));
  }

  TImageListForm* Form = nullptr;
  TDXDraw* DXDraw = nullptr;
  TDXImageList* List = nullptr;
};

// ---------------------------------------------------------------------------------------
// Patterns and surfaces

TEST_F(ImageListTest, WholePictureIsOnePatternOnOneSurfaceWhateverMemoryAndSkips) {
  auto dib = Strip(47, 47);
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetSkipWidth(5);
  item->SetSkipHeight(3);
  List->SetDXDraw(DXDraw);
  Start();
  for (bool system : {false, true}) {
    item->SetSystemMemory(system);
    List->Items()->RebuildSurfaces();
    ASSERT_EQ(item->PatternCount(), 1);
    ASSERT_EQ(item->SurfaceCount(), 1);
    EXPECT_EQ(item->Patterns(0)->PatternRect, Rect(0, 0, 47, 47));
    EXPECT_EQ(item->Patterns(0)->PatternSurface, item->ItemSurfaces(0));
    EXPECT_EQ(item->ItemSurfaces(0)->Width(), 47);
    EXPECT_EQ(item->ItemSurfaces(0)->Height(), 47);
  }
}

TEST_F(ImageListTest, SixteenPixelPatternsOn64By32GiveEightPatternsOnOneSurface) {
  auto dib = Strip(64, 32);
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(16);
  item->SetPatternHeight(16);
  List->SetDXDraw(DXDraw);
  Start();
  for (bool system : {true, false}) {
    SCOPED_TRACE(system ? "system memory" : "video memory");
    item->SetSystemMemory(system);
    List->Items()->RebuildSurfaces();
    ASSERT_EQ(item->SurfaceCount(), 1);
    EXPECT_EQ(item->ItemSurfaces(0)->Width(), 64);
    EXPECT_EQ(item->ItemSurfaces(0)->Height(), 32);
    EXPECT_EQ(item->ItemSurfaces(0)->SystemMemory(), system);
    ASSERT_EQ(item->PatternCount(), 8);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(item->Patterns(k)->PatternSurface, item->ItemSurfaces(0));
    EXPECT_EQ(item->Patterns(5)->PatternRect, Rect(16, 16, 32, 32));  // row 1, column 1
    EXPECT_EQ(item->Patterns(3)->PatternRect, Rect(48, 0, 64, 16));
  }
}

TEST_F(ImageListTest, SkipsSpaceThePatternsInSystemMemory) {
  auto dib = Strip(40, 20);
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(8);
  item->SetPatternHeight(8);
  item->SetSkipWidth(2);
  item->SetSkipHeight(4);
  item->SetSystemMemory(true);
  List->SetDXDraw(DXDraw);
  Start();
  // Columns (40 + 2) div 10 = 4, rows (20 + 4) div 12 = 2.
  ASSERT_EQ(item->PatternCount(), 8);
  EXPECT_EQ(item->Patterns(5)->PatternRect, Rect(10, 12, 18, 20));
  EXPECT_EQ(item->Patterns(7)->PatternRect, Rect(30, 12, 38, 20));
}

TEST_F(ImageListTest, LongStripInVideoMemoryIsCutIntoBlocksOf512) {
  auto dib = Strip(2000, 16);
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(16);
  item->SetPatternHeight(16);
  List->SetDXDraw(DXDraw);
  Start();
  ASSERT_EQ(item->SurfaceCount(), 4);
  const int widths[] = {512, 512, 512, 464};
  for (int i = 0; i < 4; ++i) {
    TDirectDrawSurface* s = item->ItemSurfaces(i);
    EXPECT_EQ(s->Width(), widths[i]);
    EXPECT_EQ(s->Height(), 16);
    // Each block holds its own part of the picture: column 512 i comes first.
    EXPECT_EQ(s->GetPixel(0, 0), Grey(s, (512 * i) % 250 + 1)) << "surface " << i;
  }
  ASSERT_EQ(item->PatternCount(), 125);
  EXPECT_EQ(item->Patterns(32)->PatternSurface, item->ItemSurfaces(1));
  EXPECT_EQ(item->Patterns(32)->PatternRect, Rect(0, 0, 16, 16));
  EXPECT_EQ(item->Patterns(31)->PatternSurface, item->ItemSurfaces(0));
  EXPECT_EQ(item->Patterns(31)->PatternRect, Rect(496, 0, 512, 16));
  EXPECT_EQ(item->Patterns(124)->PatternSurface, item->ItemSurfaces(3));
  EXPECT_EQ(item->Patterns(124)->PatternRect, Rect(448, 0, 464, 16));
}

TEST_F(ImageListTest, PatternsThatFitNoWholeCellRebuildWithoutFailing) {
  auto dib = Strip(20, 10);
  TPictureCollectionItem* big = AddItem(*dib);  // larger than the picture
  big->SetPatternWidth(32);
  big->SetPatternHeight(8);
  TPictureCollectionItem* backwards = AddItem(*dib);  // a skip that leaves no cell
  backwards->SetPatternWidth(4);
  backwards->SetPatternHeight(4);
  backwards->SetSkipWidth(-4);
  backwards->SetSkipHeight(-9);
  TPictureCollectionItem* farApart = AddItem(*dib);  // one cell whose skip passes 32 bits
  farApart->SetPatternWidth(8);
  farApart->SetPatternHeight(4);
  farApart->SetSkipWidth(INT32_MAX);
  farApart->SetSkipHeight(INT32_MAX);
  TPictureCollectionItem* huge = AddItem(*dib);  // a cell size beyond 32 bits
  huge->SetPatternWidth(INT32_MAX);
  huge->SetPatternHeight(INT32_MAX);
  huge->SetSkipWidth(INT32_MAX);
  huge->SetSkipHeight(INT32_MAX);
  List->SetDXDraw(DXDraw);
  for (bool system : {false, true}) {
    SCOPED_TRACE(system ? "system memory" : "video memory");
    for (TPictureCollectionItem* item : {big, backwards, huge, farApart}) item->SetSystemMemory(system);
    DXDraw->Finalize();
    ASSERT_NO_THROW(Start());
    for (TPictureCollectionItem* item : {big, backwards, huge}) {
      EXPECT_TRUE(item->Ready());
      EXPECT_EQ(item->PatternCount(), 0);
      // System memory keeps its one whole-picture surface; video memory has no block.
      ASSERT_EQ(item->SurfaceCount(), system ? 1 : 0);
      if (system) {
        EXPECT_EQ(item->ItemSurfaces(0)->Width(), 20);
      }
    }
    ASSERT_EQ(farApart->PatternCount(), 1);
    EXPECT_EQ(farApart->Patterns(0)->PatternRect, Rect(0, 0, 8, 4));
    ASSERT_EQ(farApart->SurfaceCount(), 1);
    EXPECT_EQ(farApart->ItemSurfaces(0)->Width(), 20);
  }
}

TEST_F(ImageListTest, ItemWithoutPictureKeepsNothingAndOthersStillBuild) {
  List->Items()->Add();
  TDIB empty;
  AddItem(empty);
  auto dib = Strip(10, 10);
  TPictureCollectionItem* full = AddItem(*dib);
  List->SetDXDraw(DXDraw);
  Start();
  EXPECT_TRUE(List->Items()->Items(0)->Ready());
  EXPECT_EQ(List->Items()->Items(0)->SurfaceCount(), 0);
  EXPECT_EQ(List->Items()->Items(1)->SurfaceCount(), 0);
  EXPECT_EQ(full->SurfaceCount(), 1);
  try {
    List->Items()->Items(3);
    FAIL() << "item 3 of 3";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
}

// ---------------------------------------------------------------------------------------
// Drawing and colour keys

TEST_F(ImageListTest, DrawCopiesOnePatternColourKeyedAndIgnoresBadIndexes) {
  // Two 4 x 4 patterns: the first white with a black (keyed) centre, the second grey.
  auto dib = MakeDIB(
      8, 4,
      [](int x, int y) {
        if (x >= 4) return 2;
        return (x == 1 || x == 2) && (y == 1 || y == 2) ? 0 : 1;
      },
      [](int i) { return i == 0 ? Quad(0, 0, 0) : i == 1 ? Quad(255, 255, 255) : Quad(128, 128, 128); });
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(4);
  item->SetPatternHeight(4);
  List->SetDXDraw(DXDraw);
  Start();
  ASSERT_EQ(item->PatternCount(), 2);
  TDirectDrawSurface* dest = DXDraw->Surface();
  const DWORD red = dest->MatchColor(clRed);
  const DWORD white = dest->MatchColor(clWhite);
  dest->Fill(red);

  item->Draw(dest, 10, 20, -1);
  item->Draw(dest, 10, 20, 2);
  for (int y = 18; y < 26; ++y)
    for (int x = 8; x < 16; ++x) ASSERT_EQ(dest->GetPixel(x, y), red) << x << "," << y;

  item->Draw(dest, 10, 20, 0);
  EXPECT_EQ(dest->GetPixel(10, 20), white);
  EXPECT_EQ(dest->GetPixel(13, 23), white);
  EXPECT_EQ(dest->GetPixel(11, 21), red);  // the key colour is left out
  EXPECT_EQ(dest->GetPixel(14, 20), red);  // nothing of pattern 1 came along

  // Without Transparent the whole cell is copied, black included.
  item->SetTransparent(false);
  item->Draw(dest, 30, 20, 0);
  EXPECT_EQ(dest->GetPixel(31, 21), dest->MatchColor(clBlack));
  EXPECT_EQ(dest->GetPixel(34, 20), red);
}

TEST_F(ImageListTest, EveryPatternOfASheetLandsKeyedWhereItIsDrawn) {
  // Eight 16 x 16 cells, cell k a disc of palette colour k + 1 on black.
  auto dib = MakeDIB(
      64, 32,
      [](int x, int y) {
        const int dx = x % 16 - 8, dy = y % 16 - 8;
        return dx * dx + dy * dy < 49 ? (y / 16) * 4 + x / 16 + 1 : 0;
      },
      [](int i) {
        return i == 0 ? Quad(0, 0, 0)
                      : Quad(static_cast<BYTE>(i & 1 ? 255 : 60), static_cast<BYTE>(i & 2 ? 255 : 60),
                             static_cast<BYTE>(i & 4 ? 255 : 60 + 20 * i));
      });
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(16);
  item->SetPatternHeight(16);
  List->SetDXDraw(DXDraw);
  Start();
  TDirectDrawSurface* dest = DXDraw->Surface();
  dest->Fill(dest->MatchColor(RGB(0, 0, 96)));
  DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  fx.dwFillColor = dest->MatchColor(clSilver);
  ASSERT_TRUE(dest->BlitRect(Rect(0, 108, 320, 112), nullptr, Rect(0, 0, 0, 0), DDBLT_COLORFILL | DDBLT_WAIT, fx));
  for (int k = 0; k < 8; ++k) item->Draw(dest, 12 + 36 * k, 102, k);
  for (int k = 0; k < 8; ++k) {
    const RGBQUAD c = dib->ColorTable()[static_cast<size_t>(k + 1)];
    EXPECT_EQ(dest->GetPixel(12 + 36 * k + 8, 102 + 8), dest->MatchColor(RGB(c.rgbRed, c.rgbGreen, c.rgbBlue))) << k;
    EXPECT_EQ(dest->GetPixel(12 + 36 * k, 109), dest->MatchColor(clSilver)) << k;  // keyed corner
    EXPECT_EQ(dest->GetPixel(12 + 36 * k, 102), dest->MatchColor(RGB(0, 0, 96))) << k;
  }
  const std::filesystem::path dir = std::filesystem::path(PELLORA_BINARY_DIR) / "renders";
  std::filesystem::create_directories(dir);
  TDirectDrawSurfaceCanvas* canvas = dest->Canvas();
  EXPECT_TRUE(WritePngFromDC((dir / "imagelist_sheet_patterns.png").string(), canvas->Handle()));
  canvas->ReleaseCanvas();
}

TEST_F(ImageListTest, TransparentColorRekeysExistingSurfaces) {
  auto dib = MakeDIB(
      4, 1, [](int x, int) { return x; },
      [](int i) { return i == 0 ? Quad(0, 0, 0) : i == 1 ? Quad(255, 255, 255) : Quad(0, 0, 255); });
  TPictureCollectionItem* item = AddItem(*dib);
  List->SetDXDraw(DXDraw);
  Start();
  TDirectDrawSurface* dest = DXDraw->Surface();
  const DWORD red = dest->MatchColor(clRed);
  dest->Fill(red);

  item->SetTransparentColor(clWhite);
  EXPECT_EQ(item->TransparentColor(), clWhite);
  DDCOLORKEY key{};
  ASSERT_EQ(item->ItemSurfaces(0)->ISurface()->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, item->ItemSurfaces(0)->MatchColor(clWhite));
  item->Draw(dest, 0, 0, 0);
  EXPECT_EQ(dest->GetPixel(0, 0), dest->MatchColor(clBlack));  // black is drawn now
  EXPECT_EQ(dest->GetPixel(1, 0), red);                        // white is left out
  EXPECT_EQ(dest->GetPixel(2, 0), dest->MatchColor(clBlue));

  // A rebuild keys the new surfaces with the stored colour.
  List->Items()->RebuildSurfaces();
  ASSERT_EQ(item->ItemSurfaces(0)->ISurface()->GetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  EXPECT_EQ(key.dwColorSpaceLowValue, item->ItemSurfaces(0)->MatchColor(clWhite));
}

// ---------------------------------------------------------------------------------------
// Following the display

TEST_F(ImageListTest, LinkingToARunningDisplayMakesSurfacesAndUnlinkingFreesThem) {
  auto dib = Strip(30, 30);
  TPictureCollectionItem* item = AddItem(*dib);
  Start();
  EXPECT_FALSE(item->Ready());
  const int32_t before = DXDraw->DirectDraw()->SurfaceCount();

  List->SetDXDraw(DXDraw);
  EXPECT_EQ(List->Items()->DXDraw(), DXDraw);
  EXPECT_TRUE(item->Ready());
  ASSERT_EQ(item->SurfaceCount(), 1);
  EXPECT_EQ(DXDraw->DirectDraw()->SurfaceCount(), before + 1);

  List->SetDXDraw(nullptr);
  EXPECT_FALSE(item->Ready());
  EXPECT_EQ(item->SurfaceCount(), 0);
  EXPECT_EQ(item->PatternCount(), 0);
  EXPECT_EQ(List->Items()->DXDraw(), nullptr);
  EXPECT_EQ(DXDraw->DirectDraw()->SurfaceCount(), before);

  // Drawing an item that is not ready does nothing.
  TDirectDrawSurface* dest = DXDraw->Surface();
  dest->Fill(dest->MatchColor(clRed));
  item->Draw(dest, 0, 0, 0);
  EXPECT_EQ(dest->GetPixel(5, 5), dest->MatchColor(clRed));
}

TEST_F(ImageListTest, StartAndStopOfTheDisplayReadyAndReleaseTheItems) {
  auto dib = Strip(30, 30);
  TPictureCollectionItem* item = AddItem(*dib);
  List->SetDXDraw(DXDraw);  // linked while the display is down, as a design does
  EXPECT_FALSE(item->Ready());
  EXPECT_EQ(List->Items()->DXDraw(), nullptr);
  Start();
  EXPECT_TRUE(item->Ready());
  EXPECT_EQ(item->SurfaceCount(), 1);
  // An item added while running becomes ready at its first rebuild.
  TPictureCollectionItem* late = AddItem(*dib);
  EXPECT_FALSE(late->Ready());
  List->Items()->RebuildSurfaces();
  EXPECT_TRUE(late->Ready());
  EXPECT_EQ(late->SurfaceCount(), 1);

  DXDraw->Finalize();
  EXPECT_FALSE(item->Ready());
  EXPECT_FALSE(late->Ready());
  EXPECT_EQ(item->SurfaceCount(), 0);
  EXPECT_EQ(List->Items()->DXDraw(), nullptr);
}

TEST_F(ImageListTest, AttachingToADisplayThatIsDownFails) {
  AddItem(*Strip(4, 4));
  try {
    List->Items()->AttachDisplay(DXDraw);
    FAIL() << "attached to a display that is down";
  } catch (const EPictureCollectionError& e) {
    EXPECT_EQ(e.Message(), "TPictureCollection cannot be initialized");
  }
  EXPECT_FALSE(List->Items()->Items(0)->Ready());
}

TEST_F(ImageListTest, DestroyingTheDisplayUnlinksTheList) {
  auto dib = Strip(30, 30);
  TPictureCollectionItem* item = AddItem(*dib);
  List->SetDXDraw(DXDraw);
  Start();
  delete DXDraw;
  DXDraw = nullptr;
  EXPECT_EQ(List->DXDraw(), nullptr);
  EXPECT_FALSE(item->Ready());
  EXPECT_EQ(item->SurfaceCount(), 0);
}

TEST_F(ImageListTest, LostSurfacesAreRebuiltWhenTheDisplayRestoresThem) {
  auto dib = Strip(600, 16);
  TPictureCollectionItem* item = AddItem(*dib);
  item->SetPatternWidth(16);
  item->SetPatternHeight(16);
  List->SetDXDraw(DXDraw);
  DXDraw->SetOptions(DXDraw->Options() | doFullScreen);
  Start();
  ASSERT_EQ(item->SurfaceCount(), 2);
  TDirectDrawSurface* s0 = item->ItemSurfaces(0);
  // Spoil a pixel, so only a surface made afresh from the picture shows it right again.
  s0->SetPixel(0, 0, Grey(s0, 200));
  // Another application takes the screen: every surface of the exclusive display is lost.
  headless::ActivateOtherApplication();
  Pump();
  EXPECT_EQ(s0->ISurface()->IsLost(), DDERR_SURFACELOST);
  headless::ActivateWindow(Form->Handle());
  Pump();
  ASSERT_TRUE(DXDraw->CheckSurfaceLost());
  ASSERT_EQ(item->SurfaceCount(), 2);
  ASSERT_EQ(item->PatternCount(), 37);
  for (int i = 0; i < 2; ++i) {
    TDirectDrawSurface* s = item->ItemSurfaces(i);
    EXPECT_EQ(s->ISurface()->IsLost(), DD_OK);
    EXPECT_EQ(s->GetPixel(0, 0), Grey(s, (512 * i) % 250 + 1));
  }
  EXPECT_EQ(item->Patterns(36)->PatternSurface, item->ItemSurfaces(1));
  // Drawing resumes: pattern 33 (columns 528 to 543) lands on the back surface.
  TDirectDrawSurface* back = DXDraw->Surface();
  ASSERT_TRUE(DXDraw->ReadyToDraw());
  back->Fill(0);
  item->Draw(back, 40, 50, 33);
  EXPECT_EQ(back->LastResult(), DD_OK);
  EXPECT_EQ(back->GetPixel(40, 50), Grey(back, 528 % 250 + 1));
  EXPECT_EQ(back->GetPixel(55, 65), Grey(back, 543 % 250 + 1));
}

// ---------------------------------------------------------------------------------------
// The colour table

TEST_F(ImageListTest, ColourTableWithoutPicturesHoldsTheSixteenFixedColours) {
  List->Items()->Add();  // an item without a graphic adds nothing
  List->Items()->ColorTable().fill(Quad(1, 2, 3));
  List->Items()->BuildColorTable();
  const TRGBQuads& t = List->Items()->ColorTable();
  const std::vector<std::pair<int, RGBQUAD>> fixed = {
      {0, Quad(0, 0, 0)},         {1, Quad(128, 0, 0)},       {2, Quad(0, 128, 0)},     {3, Quad(128, 128, 0)},
      {4, Quad(0, 0, 128)},       {5, Quad(128, 0, 128)},     {6, Quad(0, 128, 128)},   {7, Quad(192, 192, 192)},
      {248, Quad(128, 128, 128)}, {249, Quad(255, 0, 0)},     {250, Quad(0, 255, 0)},   {251, Quad(255, 255, 0)},
      {252, Quad(0, 0, 255)},     {253, Quad(255, 0, 255)},   {254, Quad(0, 255, 255)}, {255, Quad(255, 255, 255)}};
  for (const auto& [i, c] : fixed) EXPECT_TRUE(SameQuad(t[static_cast<size_t>(i)], c)) << "entry " << i;
  for (int i = 8; i < 248; ++i) EXPECT_TRUE(SameQuad(t[static_cast<size_t>(i)], RGBQUAD{0, 0, 0, 0})) << i;
}

TEST_F(ImageListTest, ColourTableTakesTheColoursAPalettedPictureUsesInIndexOrder) {
  // Pixels use indexes 9, 3 and 200; index 3 is pure red, index 9 a new colour used twice,
  // index 200 another new one. Unused entries (like 50) add nothing.
  auto dib = MakeDIB(
      4, 1, [](int x, int) { return x == 0 ? 200 : x == 1 ? 3 : 9; },
      [](int i) {
        if (i == 3) return Quad(255, 0, 0);
        if (i == 9) return Quad(10, 20, 30);
        if (i == 200) return Quad(40, 50, 60);
        return Quad(7, 7, static_cast<BYTE>(i));
      });
  AddItem(*dib);
  List->Items()->BuildColorTable();
  const TRGBQuads& t = List->Items()->ColorTable();
  EXPECT_TRUE(SameQuad(t[249], Quad(255, 0, 0)));
  EXPECT_TRUE(SameQuad(t[8], Quad(10, 20, 30)));
  EXPECT_TRUE(SameQuad(t[9], Quad(40, 50, 60)));
  for (int i = 10; i < 248; ++i) EXPECT_TRUE(SameQuad(t[static_cast<size_t>(i)], RGBQUAD{0, 0, 0, 0})) << i;
}

TEST_F(ImageListTest, ColourTableStopsAt256Entries) {
  // 256 distinct colours none of which is fixed: 240 fit, the rest and later items are dropped.
  auto full = MakeDIB(
      16, 16, [](int x, int y) { return y * 16 + x; },
      [](int i) { return Quad(1, static_cast<BYTE>(i), 1); });
  auto later = MakeDIB(
      1, 1, [](int, int) { return 0; }, [](int) { return Quad(2, 2, 2); });
  AddItem(*full);
  AddItem(*later);
  List->Items()->BuildColorTable();
  const TRGBQuads& t = List->Items()->ColorTable();
  for (int i = 8; i < 248; ++i) EXPECT_TRUE(SameQuad(t[static_cast<size_t>(i)], Quad(1, static_cast<BYTE>(i - 8), 1)));
  EXPECT_TRUE(SameQuad(t[255], Quad(255, 255, 255)));
  for (const RGBQUAD& e : t) EXPECT_FALSE(SameQuad(e, Quad(2, 2, 2)));
}

TEST_F(ImageListTest, ColourTableTakesABitmapsPaletteAndIgnoresDeepPictures) {
  auto deep = std::make_unique<TDIB>();
  deep->Reformat(2, 2, 24);
  AddItem(*deep);
  TBitmap bmp;
  bmp.SetWidth(2);
  bmp.SetHeight(2);
  struct {
    WORD Version, Count;
    PALETTEENTRY Entries[2];
  } log{0x300, 2, {{255, 0, 0, 0}, {3, 4, 5, 0}}};
  bmp.SetPalette(CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log)));
  ASSERT_NE(bmp.Palette(), nullptr);
  AddItem(bmp);
  List->Items()->BuildColorTable();
  const TRGBQuads& t = List->Items()->ColorTable();
  EXPECT_TRUE(SameQuad(t[8], Quad(3, 4, 5)));
  EXPECT_TRUE(SameQuad(t[9], RGBQUAD{0, 0, 0, 0}));
}

// ---------------------------------------------------------------------------------------
// Stored forms

class CapturingFiler : public TFiler {
 public:
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override {
    Names.push_back(Name);
    Read = std::move(ReadData);
    Write = std::move(WriteData);
    Always = HasData;
  }
  std::vector<std::string> Names;
  TStreamProc Read, Write;
  bool Always = false;
};

TEST_F(ImageListTest, ColourTableStreamsAsExactly1024Bytes) {
  List->Items()->BuildColorTable();
  CapturingFiler filer;
  List->Items()->DefineProperties(filer);
  ASSERT_EQ(filer.Names, std::vector<std::string>{"ColorTable"});
  EXPECT_TRUE(filer.Always);
  TMemoryStream out;
  filer.Write(out);
  ASSERT_EQ(out.Size(), 1024);

  TDXImageList other(nullptr);
  CapturingFiler reader;
  other.Items()->DefineProperties(reader);
  out.SetPosition(0);
  reader.Read(out);
  for (size_t i = 0; i < 256; ++i)
    EXPECT_TRUE(SameQuad(other.Items()->ColorTable()[i], List->Items()->ColorTable()[i])) << i;

  TMemoryStream shortData;
  shortData.WriteBuffer(List->Items()->ColorTable().data(), 1023);
  shortData.SetPosition(0);
  try {
    reader.Read(shortData);
    FAIL() << "read 1023 bytes as a colour table";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
}

std::string Hex(const std::vector<uint8_t>& Bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : Bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

TEST_F(ImageListTest, DesignStoresTheListItsItemsAndTheirPicture) {
  auto dib = Strip(12, 6);
  TPicture picture;
  picture.SetGraphic(dib.get());
  TMemoryStream data;
  picture.WriteData(data);
  std::vector<uint8_t> table(1024, 0);
  table[4 * 9 + 2] = 0x77;  // entry 9, red

  TImageListForm* form = Open(Design(R"(    DXDraw = DXDraw
    Items.ColorTable = {)" + Hex(table) + R"(}
    Items = <
      item
        Name = 'ball'
        PatternHeight = 3
        PatternWidth = 4
        Picture.Data = {)" + Hex(data.Bytes()) + R"(}
        SkipHeight = 1
        SkipWidth = 2
        SystemMemory = True
        Transparent = False
        TransparentColor = clWhite
      end
      item
        PatternHeight = 0
        PatternWidth = 0
        SystemMemory = False
        Transparent = True
        TransparentColor = clBlack
      end>
)"));
  ASSERT_NE(form->ImageList, nullptr);
  EXPECT_EQ(form->ImageList->DXDraw(), form->DXDraw);
  TPictureCollection* items = form->ImageList->Items();
  ASSERT_EQ(items->Count(), 2);
  EXPECT_EQ(items->Owner(), form->ImageList);
  EXPECT_EQ(items->ColorTable()[9].rgbRed, 0x77);
  TPictureCollectionItem* ball = items->Items(0);
  EXPECT_EQ(ball->Name(), "ball");
  EXPECT_EQ(ball->DisplayName(), "ball");
  EXPECT_EQ(items->Items(1)->DisplayName(), "TPictureCollectionItem");
  EXPECT_EQ(ball->PatternHeight(), 3);
  EXPECT_EQ(ball->PatternWidth(), 4);
  EXPECT_EQ(ball->SkipHeight(), 1);
  EXPECT_EQ(ball->SkipWidth(), 2);
  EXPECT_TRUE(ball->SystemMemory());
  EXPECT_FALSE(ball->Transparent());
  EXPECT_EQ(ball->TransparentColor(), clWhite);
  auto* loaded = dynamic_cast<TDIB*>(ball->Picture()->Graphic());
  ASSERT_NE(loaded, nullptr);
  EXPECT_EQ(loaded->Width(), 12);
  EXPECT_EQ(loaded->ReadPixel(7, 2), 8u);
  EXPECT_EQ(items->Items(1)->Picture()->Graphic(), nullptr);
  // Setting a picture copies it; the item keeps its own.
  items->Items(1)->SetPicture(ball->Picture());
  ASSERT_NE(items->Items(1)->Picture()->Graphic(), nullptr);
  EXPECT_NE(items->Items(1)->Picture()->Graphic(), ball->Picture()->Graphic());
  EXPECT_EQ(items->Items(1)->Picture()->Width(), 12);

  // Linked while loading; starting the display gives the item its cut surfaces.
  form->DXDraw->Initialize();
  EXPECT_TRUE(ball->Ready());
  EXPECT_EQ(ball->PatternCount(), 2 * 1);  // (12 + 2) div 6 columns, (6 + 1) div 4 rows
}

TEST_F(ImageListTest, ShortColourTableInADesignIsAReadError) {
  try {
    Open(Design("    Items.ColorTable = {0102}\n"));
    FAIL() << "a 2-byte colour table was read";
  } catch (const std::exception& e) {
    EXPECT_NE(std::string(e.what()).find("Stream read error"), std::string::npos) << e.what();
  }
}

}  // namespace
