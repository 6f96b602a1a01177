// The saver left running: many frames of the real message loop, and the screen lost and
// won back again and again, must leave nothing behind — no memory, no display objects,
// no GDI objects, no window handles.
#include <unistd.h>

#include <cstdio>

#include "SceneFixture.h"
#include "platform/gdi/Gdi.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsOurs = false;  // the sanitizer holds freed memory back on purpose
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryIsOurs = false;
#else
constexpr bool kMemoryIsOurs = true;
#endif
#else
constexpr bool kMemoryIsOurs = true;
#endif

long ResidentKiB() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1;
  long size = 0, resident = 0;
  const int got = std::fscanf(f, "%ld %ld", &size, &resident);
  std::fclose(f);
  return got == 2 ? resident * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

// Everything a frame or a restore could fail to give back.
struct Holdings {
  long residentKiB = 0;
  int displayObjects = 0;
  int gdiObjects = 0;
  WindowHandleCounts handles;

  static Holdings Now() {
    return Holdings{ResidentKiB(), ddraw::LiveObjectCount(), LiveGdiObjectCount(), CountWindowHandles()};
  }
};

void ExpectNothingGained(const Holdings& before, const Holdings& after) {
  EXPECT_EQ(after.displayObjects, before.displayObjects);
  EXPECT_EQ(after.gdiObjects, before.gdiObjects);
  EXPECT_EQ(after.handles.windows, before.handles.windows);
  EXPECT_EQ(after.handles.dcs, before.handles.dcs);
  EXPECT_EQ(after.handles.timers, before.handles.timers);
  // A frame allocates and frees the same blocks every time; a slope of even a few bytes a
  // frame would show over thousands of frames.
  if (kMemoryIsOurs) {
    EXPECT_LE(after.residentKiB - before.residentKiB, 1024) << "KiB resident gained";
  }
}

int LitBluePixels(const WindowPixels& screen) {
  int bluish = 0;
  for (uint32_t p : screen.pixels) {
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (b > r + 40 && b > g + 20) ++bluish;
  }
  return bluish;
}

}  // namespace

// The message loop saver mode runs, not a stand-in: the frames come from its idle passes
// on the manual clock, and a key press ends it after the last one.
TEST_F(SceneTest, TenThousandFramesOfTheRealLoopLeaveNothingBehind) {
  constexpr int kFrames = 10000;
  StartSaver();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  ASSERT_TRUE(MainForm->DXTimer->Enabled());

  int presented = 0;
  int lastCount = headless::PresentCount(MainForm->Handle());
  Holdings settled;
  TDXTimerEvent frameStep = MainForm->DXTimer->OnTimer();
  MainForm->DXTimer->SetOnTimer([&](TObject* sender, int32_t lag) {
    frameStep(sender, lag);
    const int count = headless::PresentCount(MainForm->Handle());
    if (count == lastCount) return;
    lastCount = count;
    ++presented;
    // From the first frame without the caption on, every frame does the same work.
    if (presented == 1001) settled = Holdings::Now();
    if (presented == kFrames) headless::KeyPress(VK_SPACE);
  });
  Application->Run();

  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(presented, kFrames);
  EXPECT_EQ(MainForm->FrameCount(), 1000);
  const Holdings last = Holdings::Now();
  ExpectNothingGained(settled, last);
  std::printf("frame 1001 -> %d: resident %ld -> %ld KiB, display objects %d -> %d, GDI objects %d -> %d\n", kFrames,
              settled.residentKiB, last.residentKiB, settled.displayObjects, last.displayObjects, settled.gdiObjects,
              last.gdiObjects);
}

// Another program taking the screen loses every surface in display memory, the ball's
// among them; coming back restores them and the image list makes the ball's surface again.
TEST_F(SceneTest, LosingTheScreenAThousandTimesRebuildsTheBallEachTimeAndLeaksNothing) {
  constexpr int kRounds = 1000;
  StartSaver();
  ASSERT_TRUE(Errors.empty()) << Errors.front();
  int restored = 0;
  auto countRestored = [](void* data, TCustomDXDraw*, DisplayNotice notice) {
    if (notice == DisplayNotice::Restored) ++*static_cast<int*>(data);
  };
  MainForm->DXDraw->AddListener(countRestored, &restored);
  restored = 0;  // a new listener of a display that is up hears Restored at once
  for (int i = 0; i < 5; ++i) Idle();

  int pausedCaptions = 0, framesWhilePaused = 0, roundsWithAFrame = 0;
  auto loseAndWinBack = [&] {
    headless::ActivateOtherApplication();
    Application->ProcessMessages();
    if (MainForm->Caption() == "Pellora [Pause]") ++pausedCaptions;
    const int pausedAt = headless::PresentCount(MainForm->Handle());
    for (int i = 0; i < 3; ++i) Idle();
    framesWhilePaused += headless::PresentCount(MainForm->Handle()) - pausedAt;

    headless::ActivateWindow(MainForm->Handle());
    Application->ProcessMessages();
    const int backAt = headless::PresentCount(MainForm->Handle());
    for (int i = 0; i < 5 && headless::PresentCount(MainForm->Handle()) == backAt; ++i) Idle();
    if (headless::PresentCount(MainForm->Handle()) > backAt) ++roundsWithAFrame;
  };
  // The first time away makes what every later time reuses (the desktop's picture of the
  // screen, for one); growth is measured from there.
  loseAndWinBack();
  const Holdings before = Holdings::Now();
  for (int round = 1; round < kRounds; ++round) loseAndWinBack();
  MainForm->DXDraw->RemoveListener(countRestored, &restored);

  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(pausedCaptions, kRounds);
  EXPECT_EQ(framesWhilePaused, 0);
  EXPECT_EQ(roundsWithAFrame, kRounds);
  EXPECT_EQ(restored, kRounds);
  EXPECT_EQ(MainForm->Caption(), "Pellora");
  // The last frame after the last restore shows the balls, so their surface is whole.
  EXPECT_GT(LitBluePixels(Screen()), 100 * 800);
  const Holdings after = Holdings::Now();
  ExpectNothingGained(before, after);
  std::printf("rounds 1 to %d: resident %ld -> %ld KiB, display objects %d -> %d, GDI objects %d -> %d, "
              "windows %d -> %d, DCs %d -> %d, timers %d -> %d\n",
              kRounds - 1, before.residentKiB, after.residentKiB, before.displayObjects, after.displayObjects,
              before.gdiObjects, after.gdiObjects, before.handles.windows, after.handles.windows, before.handles.dcs,
              after.handles.dcs, before.handles.timers, after.handles.timers);
}
