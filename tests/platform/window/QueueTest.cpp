// The message queue: its order, WM_QUIT, timers on a driven clock, waits that sleep
// rather than spin, and wake-ups from other threads.
#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "WindowTestSupport.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double WallSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

TEST_F(WindowTest, PostedMessagesComeInOrderAndQuitEndsGetMessage) {
  HWND top = TopLevel();
  PostMessageA(top, WM_USER + 1, 10, 20);
  PostMessageA(nullptr, WM_APP, 0, 0);  // a thread message
  PostMessageA(top, WM_USER + 2, 0, 0);
  PostQuitMessage(3);
  MSG msg;
  // A range filter skips what lies outside it without losing it.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_USER + 2, WM_USER + 2, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER + 2);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, WM_USER + 1);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_USER + 1);
  EXPECT_EQ(msg.wParam, 10u);
  EXPECT_EQ(msg.lParam, 20);
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_APP);
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_EQ(DispatchMessageA(&msg), 0);  // nowhere to go
  EXPECT_EQ(GetMessageA(&msg, nullptr, 0, 0), 0);
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowTest, TheTimedWaitSleepsForItsTimeWhenNothingComes) {
  TopLevel();
  Pump();
  const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
  EXPECT_FALSE(WaitMessageTimeout(200));
  const double cpu = CpuSeconds() - cpu0, wall = WallSeconds() - wall0;
  EXPECT_GE(wall, 0.195);
  EXPECT_LT(wall, 1.0);
  // A wait that polled would burn about as much CPU as wall time.
  EXPECT_LT(cpu, 0.2 * wall) << "cpu " << cpu << " s over " << wall << " s";
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), WAIT_TIMEOUT);
  PostMessageA(nullptr, WM_APP, 0, 0);
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT), WAIT_OBJECT_0);
}

TEST_F(WindowTest, PostMessageFromAnotherThreadWakesASleepingGetMessage) {
  HWND top = TopLevel();
  Pump();
  std::atomic<bool> posted{false};
  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    posted = true;
    PostMessageA(top, WM_APP + 5, 0, 0);
  });
  const double cpu0 = CpuSeconds();
  MSG msg;
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  const double cpu = CpuSeconds() - cpu0;
  poster.join();
  EXPECT_TRUE(posted);
  EXPECT_EQ(msg.message, WM_APP + 5);
  EXPECT_LT(cpu, 0.05);
}

TEST_F(WindowTest, InjectedInputWakesAWaitOnTheManualClockWithoutSleeping) {
  ManualClock clock(1000);
  InstallClock(&clock);
  HWND top = TopLevel(WS_POPUP | WS_VISIBLE);
  Pump();
  // Nothing comes: the wait advances the driven clock by its time instead of sleeping.
  const double wall0 = WallSeconds();
  EXPECT_FALSE(WaitMessageTimeout(5000));
  EXPECT_LT(WallSeconds() - wall0, 1.0);
  EXPECT_EQ(timeGetTime(), 6000u);
  headless::KeyPress(VK_SPACE);
  EXPECT_TRUE(WaitMessageTimeout(5000));
  EXPECT_EQ(timeGetTime(), 6000u);
  Pump();
  EXPECT_EQ(CountOf(top, WM_KEYDOWN), 1);
}

TEST_F(WindowTest, TimersFireOnTheDrivenClockAfterEverythingElse) {
  ManualClock clock(0);
  InstallClock(&clock);
  HWND top = TopLevel();
  Pump();
  ASSERT_EQ(SetTimer(top, 7, 50, nullptr), 7u);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  clock.Advance(49);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  clock.Advance(1);
  PostMessageA(top, WM_USER, 0, 0);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_USER);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(msg.wParam, 7u);
  // One WM_TIMER per interval, however long the queue went unread.
  clock.Advance(500);
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  // GetMessage sleeps (here: drives the clock) until the next one is due.
  ASSERT_EQ(GetMessageA(&msg, nullptr, 0, 0), 1);
  EXPECT_EQ(msg.message, WM_TIMER);
  EXPECT_EQ(timeGetTime(), 600u);  // 50 ms after the one taken at 550
  EXPECT_TRUE(KillTimer(top, 7));
  EXPECT_FALSE(KillTimer(top, 7));
  // A destroyed window's timers go with it.
  SetTimer(top, 8, 10, nullptr);
  DestroyWindow(top);
  clock.Advance(100);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
}

TEST_F(WindowTest, VerticalBlankWaitAdvancesToTheNextBlank) {
  ManualClock clock(0);
  InstallClock(&clock);
  EXPECT_EQ(GetRefreshRate(), 60);
  WaitForVerticalBlank();
  EXPECT_EQ(timeGetTime(), 17u);  // the first blank after 0 is at 16.67 ms
  WaitForVerticalBlank();
  EXPECT_EQ(timeGetTime(), 34u);
  clock.Advance(1);
  WaitForVerticalBlank();
  EXPECT_EQ(timeGetTime(), 50u);

  // On the machine's clock the wait sleeps about one refresh, no more.
  InstallClock(nullptr);
  const double cpu0 = CpuSeconds(), wall0 = WallSeconds();
  for (int i = 0; i < 6; ++i) WaitForVerticalBlank();
  const double wall = WallSeconds() - wall0;
  EXPECT_GE(wall, 5 / 60.0);
  EXPECT_LT(wall, 0.5);
  EXPECT_LT(CpuSeconds() - cpu0, 0.5 * wall);
}

TEST(PresenterChoice, NoDisplayAndNoRequestGivesAClearError) {
  ResetWindowSystem();
  const char* display = std::getenv("DISPLAY");
  const std::string saved = display ? display : "";
  const char* headlessVar = std::getenv("PELLORA_HEADLESS");
  const std::string savedHeadless = headlessVar ? headlessVar : "";
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const std::string savedWayland = wayland ? wayland : "";
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("PELLORA_HEADLESS");
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = "Plain";
  RegisterClassA(&wc);
  EXPECT_EQ(CreateWindowExA(0, "Plain", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CurrentPresenterKind(), PresenterKind::None);
  EXPECT_NE(PresenterError().find("neither WAYLAND_DISPLAY nor DISPLAY"), std::string::npos) << PresenterError();
  // A DISPLAY that cannot be opened is an error too: the product never falls back to
  // running unseen on a desktop.
  setenv("DISPLAY", ":987", 1);
  EXPECT_FALSE(EnsurePresenter());
  EXPECT_EQ(CurrentPresenterKind(), PresenterKind::None);
  EXPECT_FALSE(PresenterError().empty());
  unsetenv("DISPLAY");
  // Asking for the headless presenter in the environment is a choice, too.
  setenv("PELLORA_HEADLESS", "1", 1);
  EXPECT_TRUE(EnsurePresenter());
  EXPECT_EQ(CurrentPresenterKind(), PresenterKind::Headless);
  if (!saved.empty()) setenv("DISPLAY", saved.c_str(), 1);
  if (!savedWayland.empty()) setenv("WAYLAND_DISPLAY", savedWayland.c_str(), 1);
  if (savedHeadless.empty()) {
    unsetenv("PELLORA_HEADLESS");
  } else {
    setenv("PELLORA_HEADLESS", savedHeadless.c_str(), 1);
  }
  ResetWindowSystem();
}

}  // namespace
