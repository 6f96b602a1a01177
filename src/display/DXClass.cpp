#include "display/DXClass.h"

#include <algorithm>
#include <cstdint>

#include "platform/clock/Clock.h"
#include "runtime/Controls.h"
#include "runtime/DesignsRegistry.h"

// ---- TCustomDXTimer ----

TCustomDXTimer::TCustomDXTimer(TComponent* AOwner) : TComponent(AOwner) {
  // Stored directly: a timer only starts once its design is read or Enabled changes.
  FActiveOnly = true;
  FEnabled = true;
  SetInterval(1000);
  FMaxLag = 10;
  EnsureApplication();
  FApplication = Application;
  FApplication->FreeNotification(this);
  FHook = FApplication->HookMainWindow([this](TMessage& Message) { return HandleAppMessage(Message); });
}

TCustomDXTimer::~TCustomDXTimer() {
  Disarm();
  if (FApplication != nullptr) {
    FApplication->UnhookMainWindow(FHook);
    FApplication->RemoveFreeNotification(this);
  }
}

void TCustomDXTimer::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  // The application is going first: there is no window to unhook and nothing to leave.
  if (Operation == opRemove && AComponent == FApplication) {
    FApplication = nullptr;
    FIdleHandler = 0;
    FArmed = false;
  }
}

void TCustomDXTimer::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  // While a design is read the value is only kept; the after-loading step applies it.
  if ((ComponentState() & (csLoading | csReading)) != 0) return;
  if (FEnabled) {
    Arm();
  } else {
    Disarm();
  }
}

void TCustomDXTimer::SetActiveOnly(bool Value) {
  if (FActiveOnly == Value) return;
  FActiveOnly = Value;
  // Turning it off does not resume a paused timer; the next Arm does.
  if (FActiveOnly && FArmed && !AppActive()) DetachIdle();
}

void TCustomDXTimer::SetInterval(uint32_t Value) {
  if (FInterval == Value) return;
  const int32_t asSigned = static_cast<int32_t>(Value);
  FInterval = static_cast<uint32_t>(std::max(asSigned, 0));
  FTickDivisor = std::max(asSigned, 1);
}

void TCustomDXTimer::Loaded() {
  TComponent::Loaded();
  if (!IsDesigning() && FEnabled) Arm();
}

void TCustomDXTimer::Arm() {
  Disarm();
  if (!FActiveOnly || AppActive()) AttachIdle();
  FArmed = true;
}

void TCustomDXTimer::Disarm() {
  if (!FArmed) return;
  DetachIdle();
  FArmed = false;
}

void TCustomDXTimer::AttachIdle() {
  FLastTickTime = timeGetTime();
  if (FApplication != nullptr && FIdleHandler == 0) {
    FIdleHandler = FApplication->AddIdleHandler([this](TObject* Sender, bool& Done) { HandleIdle(Sender, Done); });
  }
}

void TCustomDXTimer::DetachIdle() {
  // Only this timer's own subscription goes: other timers, and the program's OnIdle, run on.
  if (FApplication != nullptr && FIdleHandler != 0) FApplication->RemoveIdleHandler(FIdleHandler);
  FIdleHandler = 0;
}

bool TCustomDXTimer::HandleAppMessage(TMessage& Message) {
  if (Message.Msg == CM_ACTIVATE) {
    FireActivate();
    if (FArmed && FActiveOnly) AttachIdle();
  } else if (Message.Msg == CM_DEACTIVATE) {
    FireDeactivate();
    if (FArmed && FActiveOnly) DetachIdle();
  }
  return false;
}

void TCustomDXTimer::HandleIdle(TObject* Sender, bool& Done) {
  (void)Sender;
  // Keep the loop coming back even on passes that do not tick.
  Done = false;
  const uint32_t now = timeGetTime();
  // Signed, so the clock's wrap-around does no harm.
  const int32_t elapsed = static_cast<int32_t>(now - FLastTickTime);
  if (elapsed >= static_cast<int32_t>(FInterval)) {
    // Only the current time is kept: the part of elapsed beyond whole intervals is dropped.
    FLastTickTime = now;
    int32_t lagCount = elapsed / FTickDivisor;
    if (FMaxLag > 0) lagCount = std::min(lagCount, FMaxLag);
    lagCount = std::max(lagCount, 1);
    FireTimer(lagCount);
    // Only a zero interval can tick twice on one clock reading.
    if (FInterval == 0) return;
  }
  // No tick can come before the clock reads a later value than now: the loop may sleep
  // till then instead of coming straight back.
  if (FApplication != nullptr) FApplication->IdleUntilClockPasses(now);
}

void TCustomDXTimer::FireActivate() {
  if (FOnActivate) FOnActivate(this);
}

void TCustomDXTimer::FireDeactivate() {
  if (FOnDeactivate) FOnDeactivate(this);
}

void TCustomDXTimer::FireTimer(int32_t LagCount) {
  if (FOnTimer) FOnTimer(this, LagCount);
}

// ---- TDXForm ----

namespace {

int32_t gDXFormCount = 0;

void SetAppToolWindow(bool On) {
  if (Application == nullptr) return;
  HWND app = Application->Handle();
  if (app == nullptr) return;
  const LONG ex = GetWindowLongA(app, GWL_EXSTYLE);
  const LONG want = On ? (ex | static_cast<LONG>(WS_EX_TOOLWINDOW)) : (ex & ~static_cast<LONG>(WS_EX_TOOLWINDOW));
  if (want != ex) SetWindowLongA(app, GWL_EXSTYLE, want);
}

}  // namespace

TDXForm::TDXForm(TComponent* AOwner) : TForm(AOwner) {
  EnsureApplication();
  if (gDXFormCount++ == 0) SetAppToolWindow(true);
}

TDXForm::~TDXForm() {
  if (--gDXFormCount == 0) SetAppToolWindow(false);
}

void TDXForm::CreateParams(TCreateParams& Params) {
  TForm::CreateParams(Params);
  Params.ExStyle |= WS_EX_APPWINDOW;
}

void TDXForm::WndProc(TMessage& Message) {
  // The system keeps the low four bits of a system command for itself.
  if (Message.Msg == WM_SYSCOMMAND && (Message.WParam & 0xFFF0) == SC_MINIMIZE) {
    TForm::WndProc(Message);
    SetWindowState(wsMinimized);
    return;
  }
  TForm::WndProc(Message);
}

// ---- published properties ----

void RegisterDXClassClasses() {
  RegisterPersistentClass<TCustomDXTimer, TComponent>();
  RegisterPersistentClass<TDXForm, TForm>();
  RegisterComponentClass<TDXTimer, TCustomDXTimer>()
      .Bool("ActiveOnly", &TDXTimer::SetActiveOnly)
      .Bool("Enabled", &TDXTimer::SetEnabled)
      .Int("Interval", &TDXTimer::SetInterval, 0, UINT32_MAX)
      .Int("MaxLag", &TDXTimer::SetMaxLag)
      .Event("OnActivate", &TDXTimer::SetOnActivate)
      .Event("OnDeactivate", &TDXTimer::SetOnDeactivate)
      .Event("OnTimer", &TDXTimer::SetOnTimer);
}
