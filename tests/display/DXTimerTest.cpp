// The frame timer on a manual clock, inside a real (headless) application: its states,
// its tick and lag arithmetic, its stored form, and the message loop that sleeps between
// the clock's readings instead of polling.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "display/DXClass.h"
#include "platform/clock/Clock.h"
#include "runtime/DesignReader.h"
#include "runtime/DesignsRegistry.h"
#include "runtime/forms_fixture.h"

namespace {

// A form holding a timer, as the scene's is stored.
class TTimerForm : public TForm {
 public:
  PELLORA_CLASS_NAME(TTimerForm)
  explicit TTimerForm(TComponent* AOwner) : TForm(AOwner) {}
  TDXTimer* DXTimer = nullptr;
  std::vector<std::string> Events;
  std::vector<std::pair<uint32_t, int32_t>> Ticks;  // clock reading, lag count
  std::function<void()> OnTick;
  void DXTimerActivate(TObject*) { Events.push_back("activate"); }
  void DXTimerDeactivate(TObject*) { Events.push_back("deactivate"); }
  void DXTimerTimer(TObject* Sender, int32_t LagCount) {
    EXPECT_EQ(Sender, DXTimer);
    Ticks.push_back({timeGetTime(), LagCount});
    if (OnTick) OnTick();
  }
};

const bool registered = [] {
  RegisterComponentClass<TTimerForm, TForm>()
      .Field("DXTimer", &TTimerForm::DXTimer)
      .Method("DXTimerActivate", &TTimerForm::DXTimerActivate)
      .Method("DXTimerDeactivate", &TTimerForm::DXTimerDeactivate)
      .Method("DXTimerTimer", &TTimerForm::DXTimerTimer);
  return true;
}();

std::string Design(const std::string& enabled, const std::string& interval = "1") {
  return R"(object TimerForm: TTimerForm
  Left = 10
  Top = 10
  Caption = 'Timer'
  ClientWidth = 120
  ClientHeight = 60
  object DXTimer: TDXTimer
    ActiveOnly = True
    Enabled = )" + enabled + R"(
    Interval = )" + interval + R"(
    MaxLag = 10
    OnActivate = DXTimerActivate
    OnDeactivate = DXTimerDeactivate
    OnTimer = DXTimerTimer
  end
end
)";
}

// Time that also moves in eighths of a millisecond, for a loop that polls several times
// per clock value; a message can be posted at the next reading, as if from elsewhere.
class FineClock : public ManualClock {
 public:
  explicit FineClock(uint64_t startMs) : ManualClock(startMs) {}
  uint64_t Milliseconds() override {
    if (PostAtNextReading != nullptr) {
      HWND target = std::exchange(PostAtNextReading, nullptr);
      PostMessageA(target, WM_USER + 7, 0, 0);
    }
    return ManualClock::Milliseconds() + Eighths / 8;
  }
  uint64_t Eighths = 0;
  HWND PostAtNextReading = nullptr;
};

class DXTimerTest : public HeadlessForms {
 protected:
  void SetUp() override {
    HeadlessForms::SetUp();  // starts on the machine's clock
    InstallClock(&Clock);
  }
  void TearDown() override {
    HeadlessForms::TearDown();
    InstallClock(nullptr);
  }

  // The form, shown and active, its timer stored with the given Enabled.
  TTimerForm* Open(const std::string& enabled = "True", const std::string& interval = "1") {
    TTimerForm* form = MakeForm<TTimerForm>(Design(enabled, interval));
    form->Show();
    Pump();
    EXPECT_TRUE(Application->Active());
    form->Events.clear();  // the form's own first activation
    return form;
  }
  // One idle pass as the loop makes it, without the loop's wait.
  bool Pass() { return Application->IdlePass(); }
  void Deactivate() {
    headless::ActivateOtherApplication();
    Pump();
  }
  void Activate(TTimerForm* form) {
    headless::ActivateWindow(form->Handle());
    Pump();
  }
  using Ticks = std::vector<std::pair<uint32_t, int32_t>>;

  FineClock Clock{1000};
};

TEST_F(DXTimerTest, ConstructionSetsTheDefaultsAndStartsNothing) {
  TDXTimer timer(Application);
  EXPECT_TRUE(timer.ActiveOnly());
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000u);
  EXPECT_EQ(timer.TickDivisor(), 1000);
  EXPECT_EQ(timer.MaxLag(), 10);
  EXPECT_FALSE(timer.Armed());
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
}

TEST_F(DXTimerTest, TheStoredTimerIsReadWithItsEventsAndStartsOnlyWhenEnabled) {
  TTimerForm* off = Open("False");
  ASSERT_NE(off->DXTimer, nullptr);
  EXPECT_TRUE(off->DXTimer->ActiveOnly());
  EXPECT_FALSE(off->DXTimer->Enabled());
  EXPECT_EQ(off->DXTimer->Interval(), 1u);
  EXPECT_EQ(off->DXTimer->MaxLag(), 10);
  EXPECT_FALSE(off->DXTimer->Armed());
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  off->DXTimer->SetEnabled(true);
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(off->Ticks, (Ticks{{1001, 1}}));
  delete off;

  // Stored on: Enabled only stores while the design is read, and the after-loading
  // step arms the timer once the whole design (events included) is in.
  TTimerForm* on = Open("True");
  EXPECT_TRUE(on->DXTimer->Armed());
  EXPECT_EQ(on->DXTimer->LastTickTime(), 1001u);
  Clock.Advance(3);
  Pass();
  EXPECT_EQ(on->Ticks, (Ticks{{1004, 3}}));
}

TEST_F(DXTimerTest, TheDesignRefusesAnIntervalOutOfRange) {
  EXPECT_THROW(MakeForm<TTimerForm>(Design("False", "-1")), Exception);
  TTimerForm* form = MakeForm<TTimerForm>(Design("False", "4294967295"));
  // Taken as signed: -1, so no wait at all and a divisor of 1.
  EXPECT_EQ(form->DXTimer->Interval(), 0u);
  EXPECT_EQ(form->DXTimer->TickDivisor(), 1);
}

TEST_F(DXTimerTest, IntervalIsHeldAsSignedWithADivisorOfAtLeastOne) {
  TDXTimer timer(Application);
  timer.SetInterval(0);
  EXPECT_EQ(timer.Interval(), 0u);
  EXPECT_EQ(timer.TickDivisor(), 1);
  timer.SetInterval(16);
  EXPECT_EQ(timer.TickDivisor(), 16);
  timer.SetInterval(0x80000000u);
  EXPECT_EQ(timer.Interval(), 0u);
  EXPECT_EQ(timer.TickDivisor(), 1);
  timer.SetInterval(0x7FFFFFFFu);
  EXPECT_EQ(timer.Interval(), 0x7FFFFFFFu);
  EXPECT_EQ(timer.TickDivisor(), INT32_MAX);
}

TEST_F(DXTimerTest, TicksCountWholeIntervalsWithinTheLagBounds) {
  TTimerForm* form = Open("True");
  TDXTimer* t = form->DXTimer;

  // Every pass, ticking or not, keeps the loop polling.
  EXPECT_FALSE(Pass());
  EXPECT_TRUE(form->Ticks.empty());

  // A stall of 250 ms: one tick of lag 10, and the next is measured from its end.
  Clock.Advance(250);
  EXPECT_FALSE(Pass());
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1250, 10}, {1251, 1}}));

  // No upper bound with MaxLag 0 or negative.
  form->Ticks.clear();
  t->SetMaxLag(0);
  Clock.Advance(250);
  Pass();
  t->SetMaxLag(-5);
  Clock.Advance(40);
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1501, 250}, {1541, 40}}));

  // Elapsed exactly Interval gives lag 1; the part beyond whole intervals is dropped.
  form->Ticks.clear();
  t->SetMaxLag(10);
  t->SetInterval(16);
  Clock.Advance(15);
  Pass();
  Clock.Advance(1);
  Pass();
  Clock.Advance(40);  // two intervals and 8 ms
  Pass();
  Clock.Advance(15);
  Pass();
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1557, 1}, {1597, 2}, {1613, 1}}));

  // Interval 0: a tick on every pass, even with no time gone, with lag at least 1.
  form->Ticks.clear();
  t->SetInterval(0);
  Pass();
  Pass();
  Clock.Advance(4);
  Pass();
  Clock.Advance(30);
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1613, 1}, {1613, 1}, {1617, 4}, {1647, 10}}));
}

TEST_F(DXTimerTest, TheClockWrappingAroundDoesNoHarm) {
  InstallClock(nullptr);
  FineClock nearWrap(0xFFFFFFF0u);
  InstallClock(&nearWrap);
  TTimerForm* form = Open("True", "10");
  EXPECT_EQ(form->DXTimer->LastTickTime(), 0xFFFFFFF0u);
  nearWrap.Advance(0x1C);  // reads 0x0000000C
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{0x0Cu, 2}}));
  delete form;
  InstallClock(&Clock);
}

TEST_F(DXTimerTest, SettingEnabledToItsValueChangesNothing) {
  TTimerForm* form = Open("True");
  Clock.Advance(5);
  form->DXTimer->SetEnabled(true);  // no re-arm: the clock is not reset
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1005, 5}}));
  form->DXTimer->SetEnabled(false);
  EXPECT_FALSE(form->DXTimer->Armed());
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  bool called = false;
  Application->SetOnIdle([&](TObject*, bool&) { called = true; });
  form->DXTimer->SetEnabled(false);  // already off: the slot is not touched
  Pass();
  EXPECT_TRUE(called);
}

TEST_F(DXTimerTest, EnabledWhileInactiveIsArmedButPausedUntilActivation) {
  TTimerForm* form = Open("False");
  Deactivate();
  EXPECT_EQ(form->Events, (std::vector<std::string>{"deactivate"}));
  form->DXTimer->SetEnabled(true);
  EXPECT_TRUE(form->DXTimer->Armed());
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  Clock.Advance(500);  // time while paused is never reported as lag

  Activate(form);
  EXPECT_EQ(form->Events, (std::vector<std::string>{"deactivate", "activate"}));
  EXPECT_EQ(form->DXTimer->LastTickTime(), 1500u);  // the clock restarts
  Pass();
  EXPECT_TRUE(form->Ticks.empty());
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(form->Ticks, (Ticks{{1501, 1}}));

  // Running, then paused by deactivation and resumed by activation.
  Deactivate();
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  Clock.Advance(300);
  Activate(form);
  Clock.Advance(2);
  Pass();
  EXPECT_EQ(form->Ticks.back(), (std::pair<uint32_t, int32_t>{1803, 2}));
}

TEST_F(DXTimerTest, DeactivationWhileDisabledOnlyReportsIt) {
  TTimerForm* form = Open("False");
  bool called = false;
  Application->SetOnIdle([&](TObject*, bool&) { called = true; });
  Deactivate();
  Activate(form);
  EXPECT_EQ(form->Events, (std::vector<std::string>{"deactivate", "activate"}));
  EXPECT_FALSE(form->DXTimer->Armed());
  Pass();
  EXPECT_TRUE(called);  // the slot still holds what it held
}

TEST_F(DXTimerTest, ActiveOnlyOnPausesAnInactiveTimerAndOffDoesNotResumeIt) {
  TTimerForm* form = Open("False");
  form->DXTimer->SetActiveOnly(false);
  Deactivate();
  form->DXTimer->SetEnabled(true);  // runs although inactive
  ASSERT_EQ(Application->IdleHandlerCount(), 1u);
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(form->Ticks.size(), 1u);
  form->DXTimer->SetActiveOnly(true);  // pauses at once
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  form->DXTimer->SetActiveOnly(false);  // does not resume
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  form->DXTimer->SetEnabled(false);
  form->DXTimer->SetEnabled(true);  // the next Arm does
  EXPECT_EQ(Application->IdleHandlerCount(), 1u);
}

// Each running timer has its own place in idle processing: both tick, and stopping one
// leaves the other (and the program's own OnIdle) running.
TEST_F(DXTimerTest, TwoTimersTickSideBySideAndStopAlone) {
  TTimerForm* form = Open("True");
  TDXTimer second(form);
  int secondTicks = 0;
  second.SetInterval(1);
  second.SetOnTimer([&](TObject*, int32_t) { ++secondTicks; });
  second.SetEnabled(false);
  second.SetEnabled(true);
  bool programIdle = false;
  Application->SetOnIdle([&](TObject*, bool&) { programIdle = true; });
  Clock.Advance(1);
  Pass();
  EXPECT_EQ(secondTicks, 1);
  EXPECT_EQ(form->Ticks, (Ticks{{1001, 1}}));
  form->DXTimer->SetEnabled(false);
  EXPECT_EQ(Application->IdleHandlerCount(), 1u);
  EXPECT_TRUE(second.Armed());
  Clock.Advance(1);
  programIdle = false;
  Pass();
  EXPECT_EQ(secondTicks, 2);
  EXPECT_EQ(form->Ticks.size(), 1u);
  EXPECT_TRUE(programIdle);
  second.SetEnabled(false);
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  EXPECT_TRUE(static_cast<bool>(Application->OnIdle()));
}

TEST_F(DXTimerTest, AFailingTickIsReportedAndTickingGoesOn) {
  TTimerForm* form = Open("True");
  form->OnTick = [&] {
    if (form->Ticks.size() == 1) throw Exception("frame failed");
  };
  Clock.Advance(1);
  Application->HandleMessage();
  Clock.Advance(1);
  Application->HandleMessage();
  EXPECT_EQ(form->Ticks.size(), 2u);
  EXPECT_EQ(Errors, (std::vector<std::string>{"frame failed"}));
}

TEST_F(DXTimerTest, DestructionStopsTheTimerAndUnhooksIt) {
  TTimerForm* form = Open("True");
  TDXTimer* timer = form->DXTimer;
  int activations = 0;
  timer->SetOnDeactivate([&](TObject*) { ++activations; });
  delete timer;
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  Deactivate();
  EXPECT_EQ(activations, 0);
}

TEST_F(DXTimerTest, ATimerOutlivingItsApplicationLetsGoOfIt) {
  auto* timer = new TDXTimer(nullptr);
  timer->SetActiveOnly(false);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  ASSERT_EQ(Application->IdleHandlerCount(), 1u);
  ResetApplication();  // the application, its window and its idle slot go first
  EXPECT_FALSE(timer->Armed());
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  timer->SetEnabled(false);
  timer->SetEnabled(true);  // nothing left to attach to, and the new one is not touched
  EXPECT_EQ(Application->IdleHandlerCount(), 0u);
  delete timer;
}

// The loop sleeps to the next clock value after a pass that did not tick; a polling loop
// (eight passes per millisecond here) must give the very same ticks.
TEST_F(DXTimerTest, TheSleepingLoopTicksAtTheClockValuesOfAPollingLoop) {
  // Frame costs in milliseconds, one per tick, stalls and quick frames mixed.
  const std::vector<uint64_t> costs = {0, 0, 3, 1, 0, 250, 2, 0, 7, 1, 0, 16, 0, 0, 5, 33, 1, 0, 0, 12};
  for (const uint32_t interval : {1u, 3u, 16u, 0u}) {
    auto run = [&](bool sleeping, int64_t* passes) {
      Clock = FineClock(1000);
      TTimerForm* form = Open("False");
      form->DXTimer->SetInterval(interval);
      form->OnTick = [&] { Clock.Advance(costs[(form->Ticks.size() - 1) % costs.size()]); };
      form->DXTimer->SetEnabled(true);
      const int64_t idleBefore = Application->IdleCount();
      int64_t polled = 0;
      // Bounded, so that a loop that never lets the clock move fails instead of hanging.
      for (int guard = 0; form->Ticks.size() < 60 && guard < 100'000; ++guard) {
        if (sleeping) {
          Application->HandleMessage();
        } else {
          const size_t before = form->Ticks.size();
          Pass();
          ++polled;
          if (form->Ticks.size() == before) ++Clock.Eighths;
        }
      }
      *passes = sleeping ? Application->IdleCount() - idleBefore : polled;
      Ticks ticks = form->Ticks;
      delete form;
      return ticks;
    };
    int64_t polledPasses = 0, sleepingPasses = 0;
    const Ticks polled = run(false, &polledPasses);
    const Ticks slept = run(true, &sleepingPasses);
    EXPECT_EQ(slept, polled) << "interval " << interval;
    // Passes that did not tick: one per millisecond asleep, eight when polling.
    if (interval > 0) {
      EXPECT_LT((sleepingPasses - 60) * 4, polledPasses - 60) << "interval " << interval;
    }
  }
}

TEST_F(DXTimerTest, AMessagePostedWhileTheLoopWouldSleepIsHandledAtOnce) {
  TTimerForm* form = Open("True", "1000");
  std::vector<uint32_t> handledAt;
  Application->HookMainWindow([&](TMessage& m) {
    if (m.Msg == WM_USER + 7) handledAt.push_back(timeGetTime());
    return false;
  });
  // A pass that does not tick: the loop sleeps exactly to the next clock value.
  Application->HandleMessage();
  EXPECT_EQ(timeGetTime(), 1001u);
  // Now a message arrives during the pass: no sleep, it is handled at the same reading.
  Clock.PostAtNextReading = Application->Handle();
  const int64_t idle = Application->IdleCount();
  Application->HandleMessage();
  Application->HandleMessage();
  EXPECT_EQ(Application->IdleCount(), idle + 1);
  EXPECT_EQ(handledAt, (std::vector<uint32_t>{1001}));
  EXPECT_EQ(timeGetTime(), 1001u);
  EXPECT_TRUE(form->Ticks.empty());
}

}  // namespace
