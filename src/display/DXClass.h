#pragma once
// The frame timer. It has no thread and no system timer: while it runs it subscribes to
// the application's idle processing, reads the millisecond clock on every idle pass, and
// ticks once at least Interval milliseconds have passed, reporting how many intervals that
// was.
// With ActiveOnly it pauses while another program is the active one.
//
// Also the form base class of the display layer, TDXForm.
#include <cstdint>
#include <functional>

#include "runtime/Forms.h"

// One tick: the timer and the number of whole intervals since the previous tick
// (at least 1, at most MaxLag when MaxLag is positive).
using TDXTimerEvent = std::function<void(TObject* Sender, int32_t LagCount)>;

class TCustomDXTimer : public TComponent {
 public:
  PELLORA_CLASS_NAME(TCustomDXTimer)
  // On, active-only, 1000 ms, lag bound 10; hooked on the application window, but
  // started only by the after-loading step or a change of Enabled.
  explicit TCustomDXTimer(TComponent* AOwner);
  ~TCustomDXTimer() override;

  bool ActiveOnly() const { return FActiveOnly; }
  void SetActiveOnly(bool Value);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool Value);
  // Taken as a signed number: anything above 2^31 - 1 counts as 0.
  uint32_t Interval() const { return FInterval; }
  void SetInterval(uint32_t Value);
  int32_t TickDivisor() const { return FTickDivisor; }
  int32_t MaxLag() const { return FMaxLag; }
  void SetMaxLag(int32_t Value) { FMaxLag = Value; }
  // Enabled has taken effect: the timer is running or paused.
  bool Armed() const { return FArmed; }
  uint32_t LastTickTime() const { return FLastTickTime; }

  const TNotifyEvent& OnActivate() const { return FOnActivate; }
  void SetOnActivate(TNotifyEvent Value) { FOnActivate = std::move(Value); }
  const TNotifyEvent& OnDeactivate() const { return FOnDeactivate; }
  void SetOnDeactivate(TNotifyEvent Value) { FOnDeactivate = std::move(Value); }
  const TDXTimerEvent& OnTimer() const { return FOnTimer; }
  void SetOnTimer(TDXTimerEvent Value) { FOnTimer = std::move(Value); }

  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // The timer's steps. Arm starts it (running, or paused while the application is
  // inactive); Disarm stops it; AttachIdle and DetachIdle subscribe to the application's
  // idle processing and leave it.
  void Arm();
  void Disarm();
  void AttachIdle();
  void DetachIdle();
  // One idle pass, as the application's message loop makes it.
  void HandleIdle(TObject* Sender, bool& Done);
  // A message of the application window: the activation notices move the timer between
  // running and paused. Never consumes a message.
  bool HandleAppMessage(TMessage& Message);

 protected:
  virtual void FireActivate();
  virtual void FireDeactivate();
  virtual void FireTimer(int32_t LagCount);

 private:
  bool AppActive() const { return FApplication != nullptr && FApplication->Active(); }

  bool FActiveOnly = false;
  bool FEnabled = false;
  bool FArmed = false;
  uint32_t FInterval = 0;
  int32_t FTickDivisor = 0;
  int32_t FMaxLag = 0;
  uint32_t FLastTickTime = 0;
  TNotifyEvent FOnActivate;
  TNotifyEvent FOnDeactivate;
  TDXTimerEvent FOnTimer;
  // The application whose window is hooked and whose idle processing is used.
  TApplication* FApplication = nullptr;
  THookId FHook = 0;
  THookId FIdleHandler = 0;  // 0: not subscribed
};

// The timer as designs store it: ActiveOnly, Enabled, Interval, MaxLag and the three
// events are published.
class TDXTimer : public TCustomDXTimer {
 public:
  PELLORA_CLASS_NAME(TDXTimer)
  explicit TDXTimer(TComponent* AOwner) : TCustomDXTimer(AOwner) {}
};

// A form that keeps its own taskbar button: while any exists the application's window is a
// tool window, and each TDXForm window is an app window.
class TDXForm : public TForm {
 public:
  PELLORA_CLASS_NAME(TDXForm)
  explicit TDXForm(TComponent* AOwner);
  ~TDXForm() override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void WndProc(TMessage& Message) override;
};

// Makes this unit's classes known to the design reader; a form whose design holds them
// calls it before reading (it is also run by the first timer made).
void RegisterDXClassClasses();
