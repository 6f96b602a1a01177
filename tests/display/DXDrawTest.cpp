// The display component inside a real (headless) application on a manual clock: bringing
// the display up and down in both drivers, its option rules, listeners, the lost-surface
// cycle, the form hook, its stored form, and the TDXForm base class.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/DXClass.h"
#include "display/DXDraws.h"
#include "platform/clock/Clock.h"
#include "platform/ddraw/DDraw.h"
#include "platform/gdi/Gdi.h"
#include "runtime/DesignsRegistry.h"
#include "DisplayFormsFixture.h"

namespace {

// A form holding a display and a timer, stored as the scene stores them.
class TDisplayForm : public TDXForm {
 public:
  PELLORA_CLASS_NAME(TDisplayForm)
  explicit TDisplayForm(TComponent* AOwner) : TDXForm(AOwner) {}
  TDXDraw* DXDraw = nullptr;
  TDXTimer* DXTimer = nullptr;
  std::vector<std::string> Log;
  int Frames = 0;
  void DXDrawInitialize(TObject*) {
    Log.push_back("OnInitialize");
    DXTimer->SetEnabled(true);
  }
  void DXDrawFinalize(TObject*) {
    Log.push_back("OnFinalize");
    DXTimer->SetEnabled(false);
  }
  void DXDrawInitializing(TObject*) { Log.push_back("OnInitializing"); }
  void DXDrawInitializeSurface(TObject*) { Log.push_back("OnInitializeSurface"); }
  void DXDrawFinalizeSurface(TObject*) { Log.push_back("OnFinalizeSurface"); }
  void DXDrawRestoreSurface(TObject*) { Log.push_back("OnRestoreSurface"); }
  void DXTimerTimer(TObject*, int32_t) {
    if (!DXDraw->ReadyToDraw()) return;
    DXDraw->Surface()->Fill(0);
    ++Frames;
    DXDraw->PresentFrame();
  }
};

const bool registered = [] {
  RegisterComponentClass<TDisplayForm, TDXForm>()
      .Field("DXDraw", &TDisplayForm::DXDraw)
      .Field("DXTimer", &TDisplayForm::DXTimer)
      .Method("DXDrawInitialize", &TDisplayForm::DXDrawInitialize)
      .Method("DXDrawFinalize", &TDisplayForm::DXDrawFinalize)
      .Method("DXDrawInitializing", &TDisplayForm::DXDrawInitializing)
      .Method("DXDrawInitializeSurface", &TDisplayForm::DXDrawInitializeSurface)
      .Method("DXDrawFinalizeSurface", &TDisplayForm::DXDrawFinalizeSurface)
      .Method("DXDrawRestoreSurface", &TDisplayForm::DXDrawRestoreSurface)
      .Method("DXTimerTimer", &TDisplayForm::DXTimerTimer);
  return true;
}();

struct DesignParams {
  std::string Options = "[doAllowReboot, doWaitVBlank, doCenter, doFlip]";
  std::string AutoInitialize = "False";
  std::string AutoSize = "False";
  int SurfaceWidth = 800;
  int SurfaceHeight = 600;
};

std::string Design(const DesignParams& p) {
  return R"(object DisplayForm: TDisplayForm
  Left = 0
  Top = 0
  Caption = 'Display'
  ClientWidth = 320
  ClientHeight = 240
  object DXDraw: TDXDraw
    Left = 0
    Top = 0
    Width = 320
    Height = 240
    AutoInitialize = )" +
         p.AutoInitialize + R"(
    AutoSize = )" + p.AutoSize +
         R"(
    Display.BitCount = 16
    Display.FixedBitCount = False
    Display.FixedRatio = True
    Display.FixedSize = False
    Display.Width = 800
    Display.Height = 600
    Options = )" + p.Options +
         R"(
    SurfaceWidth = )" + std::to_string(p.SurfaceWidth) +
         R"(
    SurfaceHeight = )" + std::to_string(p.SurfaceHeight) +
         R"(
    OnFinalize = DXDrawFinalize
    OnFinalizeSurface = DXDrawFinalizeSurface
    OnInitialize = DXDrawInitialize
    OnInitializeSurface = DXDrawInitializeSurface
    OnInitializing = DXDrawInitializing
    OnRestoreSurface = DXDrawRestoreSurface
  end
  object DXTimer: TDXTimer
    ActiveOnly = True
    Enabled = False
    Interval = 0
    MaxLag = 10
    OnTimer = DXTimerTimer
  end
end
)";
}

const char* NoticeName(DisplayNotice n) {
  static const char* names[] = {"Destroying", "Starting", "Started",  "SurfaceStarted",
                                "Stopping",   "SurfaceStopping", "Restored", "SurfaceSized"};
  return names[static_cast<int>(n)];
}

// A listener that writes what it hears into a log.
void LogNotice(void* Data, TCustomDXDraw*, DisplayNotice Notice) {
  static_cast<std::vector<std::string>*>(Data)->push_back(NoticeName(Notice));
}

class DXDrawTest : public DisplayForms {
 protected:
  TDisplayForm* Open(const DesignParams& p = {}) {
    TDisplayForm* form = MakeForm<TDisplayForm>(Design(p));
    form->Show();
    Pump();
    form->Log.clear();
    return form;
  }
  // The scene's way to full screen.
  void FullScreen(TDisplayForm* form) {
    form->DXDraw->Finalize();
    form->DXDraw->SetOptions(form->DXDraw->Options() | doFullScreen);
    form->DXDraw->Initialize();
  }
  // One idle pass as the loop makes it.
  void Pass() {
    Application->IdlePass();
  }

};

// ---- Bringing the display up and down ----

TEST_F(DXDrawTest, TheScenesSetUpGetsItsModeDirectlyWithTheFlipDriver) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  EXPECT_FALSE(d->Initialized());
  EXPECT_EQ(d->SurfaceWidth(), 800);
  FullScreen(form);
  ASSERT_TRUE(d->Initialized());
  EXPECT_NE(dynamic_cast<TDXDrawDriverFlip*>(d->Driver()), nullptr);
  EXPECT_EQ(d->CooperativeLevel(), 0x53u);
  EXPECT_EQ(d->DirectDraw()->LastResult(), DD_OK);
  EXPECT_EQ(d->Display()->Width(), 800);
  EXPECT_EQ(d->Display()->Height(), 600);
  EXPECT_EQ(d->Display()->BitCount(), 16);
  EXPECT_EQ(d->SurfaceWidth(), 800);
  EXPECT_EQ(d->SurfaceHeight(), 600);
  EXPECT_EQ(d->Surface()->BitCount(), 16);
  EXPECT_NE(d->Palette()->IPalette(), nullptr);
  EXPECT_NE(d->Clipper()->IClipper(), nullptr);
  EXPECT_TRUE(form->DXTimer->Enabled());
  EXPECT_EQ(form->Log, (std::vector<std::string>{"OnInitializing", "OnInitialize", "OnInitializeSurface",
                                                 "OnRestoreSurface"}));
}

TEST_F(DXDrawTest, FinalizeRunsItsEventsOnceAndReleasesEverything) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  form->Log.clear();
  d->Finalize();
  EXPECT_EQ(form->Log, (std::vector<std::string>{"OnFinalizeSurface", "OnFinalize"}));
  EXPECT_EQ(notices, (std::vector<std::string>{"SurfaceStopping", "Stopping"}));
  EXPECT_FALSE(d->Initialized());
  EXPECT_EQ(d->DirectDraw(), nullptr);
  EXPECT_EQ(d->Surface(), nullptr);
  EXPECT_FALSE(form->DXTimer->Enabled());
  EXPECT_EQ(ddraw::LiveObjectCount(), 0);
  // The size of the surface that was running is kept.
  EXPECT_EQ(d->SurfaceWidth(), 800);

  d->Finalize();
  EXPECT_EQ(form->Log.size(), 2u);
  EXPECT_EQ(notices.size(), 2u);
  d->RemoveListener(LogNotice, &notices);
}

TEST_F(DXDrawTest, AStartThatFailsLeavesTheDisplayStopped) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  ddraw::SetDisplayModes({{640, 480, 8}});
  d->SetOptions(d->Options() | doFullScreen);
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  try {
    d->Initialize();
    FAIL() << "no exception";
  } catch (const EDXDrawError& e) {
    EXPECT_STREQ(e.what(), "Display mode cannot be changed (800x600 16bit)");
  }
  EXPECT_FALSE(d->Initialized());
  EXPECT_FALSE(d->HasObjects());
  EXPECT_FALSE(d->Busy());
  EXPECT_EQ(d->DirectDraw(), nullptr);
  EXPECT_EQ(ddraw::LiveObjectCount(), 0);
  EXPECT_EQ(notices, (std::vector<std::string>{"Starting", "SurfaceStopping", "Stopping"}));
  d->RemoveListener(LogNotice, &notices);

  // Without a form to hold it there is nothing to start.
  TDXDraw loose(Application);
  EXPECT_THROW(loose.Initialize(), EDXDrawError);
  EXPECT_TRUE(loose.InitializeAttempted());
  EXPECT_FALSE(loose.HasObjects());
}

TEST_F(DXDrawTest, TheFirstShowingInitializesOnceWithAutoInitialize) {
  DesignParams p;
  p.AutoInitialize = "True";
  p.Options = "[doAllowReboot, doWaitVBlank, doCenter]";
  TDisplayForm* form = MakeForm<TDisplayForm>(Design(p));
  EXPECT_FALSE(form->DXDraw->Initialized());
  form->Show();
  Pump();
  ASSERT_TRUE(form->DXDraw->Initialized());
  EXPECT_NE(dynamic_cast<TDXDrawDriverBlt*>(form->DXDraw->Driver()), nullptr);
  EXPECT_EQ(form->DXDraw->CooperativeLevel(), static_cast<DWORD>(DDSCL_NORMAL));
  form->DXDraw->Finalize();
  form->Hide();
  form->Show();
  Pump();
  EXPECT_FALSE(form->DXDraw->Initialized());
}

// ---- Options ----

TEST_F(DXDrawTest, OptionsFollowTheRulesWhileStoppedAndRunning) {
  TDXDraw fresh(Application);
  EXPECT_EQ(fresh.Width(), 100);
  EXPECT_EQ(fresh.Options(), doAllowReboot | doWaitVBlank | doCenter | doHardware | doRetainedMode | doDrawPrimitive |
                                 doSelectDriver | doTexture | doRGB | doMono | doDither);
  // Windowed drops the full-screen-only values; no 3D drops the 3D values; hardware always goes.
  EXPECT_EQ(fresh.EffectiveOptions(), doWaitVBlank | doCenter);
  fresh.SetOptions(doFullScreen | doFlip | doSystemMemory | doAllowPalette256);
  EXPECT_EQ(fresh.EffectiveOptions(), doFullScreen | doSystemMemory | doAllowPalette256);

  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  const TDXDrawOptions running = d->EffectiveOptions();
  EXPECT_EQ(running, doFullScreen | doAllowReboot | doWaitVBlank | doCenter | doFlip);
  // Only the presentation values follow while running.
  d->SetOptions(doStretch | doSystemMemory);
  EXPECT_EQ(d->EffectiveOptions(), doFullScreen | doAllowReboot | doStretch | doFlip);
  d->Finalize();
  EXPECT_EQ(d->EffectiveOptions(), doStretch | doSystemMemory);
}

TEST_F(DXDrawTest, RemovingWaitVBlankWhileRunningOnlyAffectsTheBlitDriver) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  d->SetOptions(d->Options() & ~doWaitVBlank);
  uint32_t before = timeGetTime();
  d->PresentFrame();
  EXPECT_GT(timeGetTime(), before) << "the flip still waits for the blank";
  EXPECT_EQ(d->PrimarySurface()->LastResult(), DD_OK);

  d->Finalize();
  d->SetOptions(doWaitVBlank | doCenter);
  d->Initialize();
  ASSERT_NE(dynamic_cast<TDXDrawDriverBlt*>(d->Driver()), nullptr);
  before = timeGetTime();
  d->PresentFrame();
  EXPECT_GT(timeGetTime(), before);
  d->SetOptions(doCenter);
  before = timeGetTime();
  d->PresentFrame();
  EXPECT_EQ(timeGetTime(), before);
  EXPECT_EQ(d->PrimarySurface()->LastResult(), DD_OK);
}

TEST_F(DXDrawTest, FlipWithTheFormInactiveShowsNothingButSleepsToTheBlank) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  // Another form of the program takes the focus, as the password prompt does.
  TForm* prompt = MakeForm<TForm>("object Prompt: TForm\n  Left = 10\n  Top = 10\n  ClientWidth = 100\n  ClientHeight = 50\nend\n");
  prompt->Show();
  headless::ActivateWindow(prompt->Handle());
  Pump();
  ASSERT_FALSE(form->Active());
  ASSERT_TRUE(d->ReadyToDraw());
  const int shown = headless::PresentCount(form->Handle());
  const uint32_t before = timeGetTime();
  d->PresentFrame();
  EXPECT_GT(timeGetTime(), before);
  EXPECT_EQ(d->PrimarySurface()->LastResult(), DD_OK);
  EXPECT_EQ(headless::PresentCount(form->Handle()), shown);
  // Back in front, the same call shows the frame.
  headless::ActivateWindow(form->Handle());
  Pump();
  const int again = headless::PresentCount(form->Handle());
  d->PresentFrame();
  EXPECT_GT(headless::PresentCount(form->Handle()), again);
  delete prompt;
}

TEST_F(DXDrawTest, LosingTheFocusFlipsBackToTheDesktopSurface) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  TDirectDrawSurface* back = d->Surface();
  back->Fill(0x1234);
  d->PresentFrame();  // one flip: the desktop's store is now the back buffer's
  back->Fill(0x0F0F);
  TForm* prompt = MakeForm<TForm>("object Prompt: TForm\n  Left = 10\n  Top = 10\n  ClientWidth = 100\n  ClientHeight = 50\nend\n");
  prompt->Show();
  headless::ActivateWindow(prompt->Handle());
  Pump();
  ASSERT_FALSE(form->Active());
  // The desktop's store is in front again, so the back buffer holds the frame shown last.
  EXPECT_EQ(back->GetPixel(0, 0), 0x1234u);
  delete prompt;
}

// ---- Listeners ----

TEST_F(DXDrawTest, AddListenerCatchesUpWithARunningDisplay) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  std::vector<std::string> early;
  d->AddListener(LogNotice, &early);
  EXPECT_EQ(early, (std::vector<std::string>{"SurfaceSized"}));

  std::vector<std::string> inside;
  d->SetOnInitialize([&](TObject*) { d->AddListener(LogNotice, &inside); });
  FullScreen(form);
  EXPECT_EQ(inside, (std::vector<std::string>{"SurfaceSized", "Started", "SurfaceStarted", "Restored"}));
  EXPECT_EQ(early, (std::vector<std::string>{"SurfaceSized", "Starting", "SurfaceSized", "Started", "SurfaceStarted",
                                             "Restored"}));

  std::vector<std::string> late;
  d->AddListener(LogNotice, &late);
  EXPECT_EQ(late, (std::vector<std::string>{"SurfaceSized", "Started", "Restored"}));

  // The same pair again is told to stop first; removal of an unknown pair does nothing.
  late.clear();
  d->AddListener(LogNotice, &late);
  EXPECT_EQ(late, (std::vector<std::string>{"Stopping", "SurfaceSized", "Started", "Restored"}));
  std::vector<std::string> never;
  d->RemoveListener(LogNotice, &never);
  EXPECT_TRUE(never.empty());

  // Told from the last to the first.
  std::vector<std::string> order;
  auto first = [](void* data, TCustomDXDraw*, DisplayNotice) { static_cast<std::vector<std::string>*>(data)->push_back("first"); };
  auto second = [](void* data, TCustomDXDraw*, DisplayNotice) { static_cast<std::vector<std::string>*>(data)->push_back("second"); };
  d->AddListener(first, &order);
  d->AddListener(second, &order);
  order.clear();
  d->NotifyListeners(DisplayNotice::Restored);
  EXPECT_EQ(order, (std::vector<std::string>{"second", "first"}));
  for (auto* l : {&early, &inside, &late}) d->RemoveListener(LogNotice, l);
  d->RemoveListener(first, &order);
  d->RemoveListener(second, &order);
}

TEST_F(DXDrawTest, SurfaceSizeChangesOnlyWhereTheDriverCan) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  d->SetSurfaceSize(800, 600);
  EXPECT_TRUE(notices.empty());
  d->SetSurfaceWidth(640);  // stopped: stored
  EXPECT_EQ(d->SurfaceWidth(), 640);
  EXPECT_EQ(notices, (std::vector<std::string>{"SurfaceSized"}));

  // Flip driver: the surface is the screen's back buffer and stays.
  FullScreen(form);
  notices.clear();
  d->SetSurfaceSize(320, 200);
  EXPECT_EQ(d->SurfaceWidth(), 800);
  EXPECT_TRUE(notices.empty());

  // Blit driver: a new back surface and the listeners hear of it.
  d->Finalize();
  d->SetOptions(doCenter);
  d->Initialize();
  notices.clear();
  form->Log.clear();
  d->SetSurfaceSize(800, 600);
  EXPECT_TRUE(notices.empty());
  d->SetSurfaceSize(200, 100);
  EXPECT_EQ(d->SurfaceWidth(), 200);
  EXPECT_EQ(d->SurfaceHeight(), 100);
  EXPECT_EQ(notices, (std::vector<std::string>{"SurfaceStopping", "SurfaceStarted", "Restored", "SurfaceSized"}));
  EXPECT_EQ(form->Log, (std::vector<std::string>{"OnFinalizeSurface", "OnInitializeSurface", "OnRestoreSurface"}));

  // With AutoSize the surface follows the control.
  d->SetAutoSize(true);
  EXPECT_EQ(d->SurfaceWidth(), 320);
  d->SetBounds(0, 0, 160, 120);
  EXPECT_EQ(d->SurfaceWidth(), 160);
  EXPECT_EQ(d->SurfaceHeight(), 120);
  d->RemoveListener(LogNotice, &notices);
}

TEST_F(DXDrawTest, DestroyingARunningDisplayStopsItAndSaysSo) {
  TDisplayForm* form = Open();
  FullScreen(form);
  auto* d = new TDXDraw(form);
  d->SetParent(form);
  d->SetOptions(doCenter);
  d->Initialize();
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  delete d;
  EXPECT_EQ(notices, (std::vector<std::string>{"SurfaceStopping", "Stopping", "Destroying"}));
}

// ---- Losing the screen ----

TEST_F(DXDrawTest, DeactivationStopsFramesAndReactivationRestores) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  Pass();
  Pass();
  EXPECT_EQ(form->Frames, 2);

  headless::ActivateOtherApplication();
  Pump();
  EXPECT_FALSE(Application->Active());
  Pass();
  EXPECT_EQ(form->Frames, 2) << "the timer pauses";
  // Even asked directly, nothing can be drawn while the screen belongs to another program.
  EXPECT_FALSE(d->ReadyToDraw());
  EXPECT_EQ(d->PrimarySurface()->ISurface()->IsLost(), DDERR_SURFACELOST);

  notices.clear();
  form->Log.clear();
  headless::ActivateWindow(form->Handle());
  Pump();
  Pass();
  EXPECT_EQ(form->Frames, 3);
  EXPECT_EQ(notices, (std::vector<std::string>{"Restored"}));
  EXPECT_EQ(form->Log, (std::vector<std::string>{"OnRestoreSurface"}));
  EXPECT_EQ(d->PrimarySurface()->ISurface()->IsLost(), DD_OK);
  d->RemoveListener(LogNotice, &notices);
}

TEST_F(DXDrawTest, ARestoreThatFailsSkipsTheFrame) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  headless::ActivateOtherApplication();
  Pump();
  // The timer is paused; drive one frame by hand as a late message would.
  form->DXTimerTimer(form->DXTimer, 1);
  EXPECT_EQ(form->Frames, 0);
  d->PresentFrame();
  EXPECT_TRUE(notices.empty());
  d->RemoveListener(LogNotice, &notices);
}

// ---- Palette ----

TEST_F(DXDrawTest, PaletteEntriesKeepTheDesktopColoursUnlessAll256AreAllowed) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  std::array<PALETTEENTRY, 256> system{};
  HDC dc = GetDC(nullptr);
  GetSystemPaletteEntries(dc, 0, 256, system.data());
  ReleaseDC(nullptr, dc);
  // The colour tables start as the system palette in table order.
  EXPECT_EQ(d->ColorTable()[9].rgbRed, system[9].peRed);
  EXPECT_EQ(d->ColorTable()[9].rgbBlue, system[9].peBlue);
  EXPECT_EQ(d->DefaultColorTable()[250].rgbGreen, system[250].peGreen);

  TDXDrawColorTable table{};
  for (int i = 0; i < 256; ++i) table[static_cast<size_t>(i)] = RGBQUAD{static_cast<BYTE>(i), 1, 2, 0};
  TDXDrawPaletteEntries e = d->MakePaletteEntries(table);
  EXPECT_EQ(e[9].peRed, system[9].peRed);
  EXPECT_EQ(e[246].peBlue, system[246].peBlue);
  EXPECT_EQ(e[10].peBlue, 10);
  EXPECT_EQ(e[10].peRed, 2);
  EXPECT_EQ(e[245].peBlue, 245);
  for (const PALETTEENTRY& x : e) EXPECT_EQ(x.peFlags, 0x40);

  d->SetOptions(d->Options() | doFullScreen | doAllowPalette256);
  e = d->MakePaletteEntries(table);
  EXPECT_EQ(e[0].peBlue, 0);
  EXPECT_EQ(e[255].peBlue, 255);
  EXPECT_EQ(e[255].peGreen, 1);
}

TEST_F(DXDrawTest, TheRunningPaletteTakesTheColourTable) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  d->ColorTable()[100] = RGBQUAD{30, 20, 10, 0};
  FullScreen(form);
  std::array<PALETTEENTRY, 256> got{};
  ASSERT_TRUE(d->Palette()->GetEntries(0, 256, got.data()));
  EXPECT_EQ(got[100].peRed, 10);
  EXPECT_EQ(got[100].peGreen, 20);
  EXPECT_EQ(got[100].peBlue, 30);
}

// ---- TDXForm ----

TEST_F(DXDrawTest, DXFormsKeepTheirOwnTaskbarButton) {
  HWND app = Application->Handle();
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(GetWindowLongA(app, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOOLWINDOW), 0);
  auto* a = new TDXForm(Application);
  auto* b = new TDXForm(Application);
  EXPECT_NE(GetWindowLongA(app, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOOLWINDOW), 0);
  EXPECT_NE(GetWindowLongA(a->Handle(), GWL_EXSTYLE) & static_cast<LONG>(WS_EX_APPWINDOW), 0);
  delete a;
  EXPECT_NE(GetWindowLongA(app, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOOLWINDOW), 0);
  b->Show();
  Pump();
  TMessage m;
  m.Msg = WM_SYSCOMMAND;
  m.WParam = SC_MINIMIZE;
  b->Perform(m);
  EXPECT_EQ(b->WindowState(), wsMinimized);
  delete b;
  EXPECT_EQ(GetWindowLongA(app, GWL_EXSTYLE) & static_cast<LONG>(WS_EX_TOOLWINDOW), 0);
}

// ---- Stored form ----

TEST_F(DXDrawTest, TheDesignSetsEveryPropertyAndTheSizeOnlyStoresWhileLoading) {
  DesignParams p;
  p.SurfaceWidth = 512;
  p.SurfaceHeight = 384;
  TDisplayForm* form = Open(p);
  TCustomDXDraw* d = form->DXDraw;
  EXPECT_FALSE(d->AutoInitialize());
  EXPECT_FALSE(d->AutoSize());
  EXPECT_EQ(d->Display()->BitCount(), 16);
  EXPECT_EQ(d->Display()->Width(), 800);
  EXPECT_EQ(d->Display()->Height(), 600);
  EXPECT_FALSE(d->Display()->FixedBitCount());
  EXPECT_TRUE(d->Display()->FixedRatio());
  EXPECT_FALSE(d->Display()->FixedSize());
  EXPECT_EQ(d->Options(), doAllowReboot | doWaitVBlank | doCenter | doFlip);
  EXPECT_EQ(d->SurfaceWidth(), 512);
  EXPECT_EQ(d->SurfaceHeight(), 384);
  EXPECT_TRUE(static_cast<bool>(d->OnInitializing()));
  EXPECT_TRUE(static_cast<bool>(d->OnRestoreSurface()));
  EXPECT_FALSE(d->InitializeAttempted());

  // With AutoSize the control's size wins once the design is read.
  p.AutoSize = "True";
  TDisplayForm* sized = Open(p);
  EXPECT_EQ(sized->DXDraw->SurfaceWidth(), 320);
  EXPECT_EQ(sized->DXDraw->SurfaceHeight(), 240);
}

TEST_F(DXDrawTest, ThePaletteComingBackToFrontRestoresTheSurfaces) {
  TDisplayForm* form = Open();
  TCustomDXDraw* d = form->DXDraw;
  FullScreen(form);
  std::vector<std::string> notices;
  d->AddListener(LogNotice, &notices);
  notices.clear();
  TMessage m;
  m.Msg = WM_QUERYNEWPALETTE;
  d->Perform(m);
  EXPECT_EQ(notices, (std::vector<std::string>{"Restored"}));
  d->RemoveListener(LogNotice, &notices);
}

}  // namespace
