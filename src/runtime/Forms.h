#pragma once
// Forms and the application object: top-level windows made from their stored designs,
// modal showing with a modal result, the keyboard's dialog keys (Tab, Enter, Escape),
// the application's hidden window with its hooks and activation notices, the message
// loop with its idle callback, and the exception report.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Controls.h"
#include "runtime/DesignReader.h"

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// Border icons: a set of these bits.
using TBorderIcons = uint32_t;
inline constexpr TBorderIcons biSystemMenu = 1u << 0;
inline constexpr TBorderIcons biMinimize = 1u << 1;
inline constexpr TBorderIcons biMaximize = 1u << 2;
inline constexpr TBorderIcons biHelp = 1u << 3;
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter, poDesktopCenter };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TCloseAction { caNone, caHide, caFree, caMinimize };

using TModalResult = int32_t;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;
inline constexpr TModalResult mrAbort = 3;
inline constexpr TModalResult mrRetry = 4;
inline constexpr TModalResult mrIgnore = 5;
inline constexpr TModalResult mrYes = 6;
inline constexpr TModalResult mrNo = 7;
inline constexpr TModalResult mrAll = 8;

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

inline constexpr const char* SCannotShowModal = "Cannot make a visible window modal";

class TButtonControl;

class TCustomForm : public TWinControl {
 public:
  PELLORA_CLASS_NAME(TCustomForm)
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Reads the stored design of this form's class (compiled into the program).
  void LoadDesign();
  // The creation handler, with an exception shown by the application and swallowed: a
  // form whose OnCreate failed is still created.
  void DoCreate();

  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle Value);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons Value);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition Value) { FPosition = Value; }
  TWindowState WindowState() const { return FWindowState; }
  void SetWindowState(TWindowState Value);
  TFormStyle FormStyle() const { return FFormStyle; }
  void SetFormStyle(TFormStyle Value) { FFormStyle = Value; }
  // The client area; setting it sizes the window around it for the current border.
  TRect ClientRect() const override;
  void SetClientWidth(int32_t Value);
  void SetClientHeight(int32_t Value);
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool Value) { FKeyPreview = Value; }
  bool Scaled() const { return FScaled; }
  void SetScaled(bool Value) { FScaled = Value; }
  int32_t PixelsPerInch() const { return FPixelsPerInch; }
  void SetPixelsPerInch(int32_t Value) { FPixelsPerInch = Value; }
  void SetTextHeight(int32_t Value) { FTextHeight = Value; }
  // Kept for designs that store it; the creation handler always runs after loading.
  void SetOldCreateOrder(bool Value) { FOldCreateOrder = Value; }
  bool Active() const { return FActive; }

  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* Control);
  // Called by a control that got the focus.
  void FocusControlChanged(TWinControl* Control);
  TButtonControl* DefaultButton() const;
  TButtonControl* CancelButton() const;

  void Show();
  void Hide();
  void Close();
  TModalResult ShowModal();
  TModalResult ModalResult() const { return FModalResult; }
  // A result ends the modal loop; the loop is woken in case it is waiting for input.
  void SetModalResult(TModalResult Value);
  bool Modal() const { return FModal; }
  // Frees the form once the messages being handled now are done.
  void Release();
  bool CloseQuery();
  void BringToFront();

  const TNotifyEvent& OnCreate() const { return FOnCreate; }
  void SetOnCreate(TNotifyEvent Value) { FOnCreate = std::move(Value); }
  const TNotifyEvent& OnDestroy() const { return FOnDestroy; }
  void SetOnDestroy(TNotifyEvent Value) { FOnDestroy = std::move(Value); }
  const TNotifyEvent& OnShow() const { return FOnShow; }
  void SetOnShow(TNotifyEvent Value) { FOnShow = std::move(Value); }
  const TNotifyEvent& OnHide() const { return FOnHide; }
  void SetOnHide(TNotifyEvent Value) { FOnHide = std::move(Value); }
  const TCloseEvent& OnClose() const { return FOnClose; }
  void SetOnClose(TCloseEvent Value) { FOnClose = std::move(Value); }
  const TCloseQueryEvent& OnCloseQuery() const { return FOnCloseQuery; }
  void SetOnCloseQuery(TCloseQueryEvent Value) { FOnCloseQuery = std::move(Value); }
  const TNotifyEvent& OnActivate() const { return FOnActivate; }
  void SetOnActivate(TNotifyEvent Value) { FOnActivate = std::move(Value); }
  const TNotifyEvent& OnDeactivate() const { return FOnDeactivate; }
  void SetOnDeactivate(TNotifyEvent Value) { FOnDeactivate = std::move(Value); }
  const TNotifyEvent& OnPaint() const { return FOnPaint; }
  void SetOnPaint(TNotifyEvent Value) { FOnPaint = std::move(Value); }

  // Valid while painting, for OnPaint handlers.
  TCanvas* Canvas() { return &FCanvas; }

  void WndProc(TMessage& Message) override;
  bool DialogKey(WORD Key, TShiftState Shift) override;
  void Loaded() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;

 protected:
  void CreateParams(TCreateParams& Params) override;
  void CreateWnd() override;
  void Paint(TCanvas* Canvas) override;
  void PaintWindow(HDC DC) override;
  void TextChanged() override;
  void VisibleChanged() override;
  virtual void DoShow();
  virtual void DoHide();
  virtual void DoClose(TCloseAction& Action);
  virtual void Activate();
  virtual void Deactivate();
  void CloseModal();

  // The window styles for the border style and icons.
  DWORD BorderStyleBits() const;
  DWORD BorderExStyleBits() const;
  // Sizes the window so its client area is the stored client size.
  void ApplyClientSize();
  void PlaceWindow(TCreateParams& Params) const;

  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDefaultPosOnly;
  TWindowState FWindowState = wsNormal;
  TFormStyle FFormStyle = fsNormal;
  bool FKeyPreview = false;
  bool FScaled = true;
  int32_t FPixelsPerInch = 96;
  int32_t FTextHeight = 13;
  bool FOldCreateOrder = false;
  int32_t FClientWidth = -1;  // as designed, applied once the border is known
  int32_t FClientHeight = -1;
  bool FActive = false;
  bool FModal = false;
  bool FShown = false;
  TModalResult FModalResult = mrNone;
  TWinControl* FActiveControl = nullptr;
  TCanvas FCanvas;

  TNotifyEvent FOnCreate;
  TNotifyEvent FOnDestroy;
  TNotifyEvent FOnShow;
  TNotifyEvent FOnHide;
  TCloseEvent FOnClose;
  TCloseQueryEvent FOnCloseQuery;
  TNotifyEvent FOnActivate;
  TNotifyEvent FOnDeactivate;
  TNotifyEvent FOnPaint;
};

class TForm : public TCustomForm {
 public:
  PELLORA_CLASS_NAME(TForm)
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// The screen: its size, the forms, and the cursor shown over all of them.
class TScreen : public TComponent {
 public:
  PELLORA_CLASS_NAME(TScreen)
  explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
  int32_t Width() const;
  int32_t Height() const;
  TCursor Cursor() const { return FCursor; }
  // A cursor other than crDefault shows over every form (crHourGlass while busy).
  void SetCursor(TCursor Value);
  int FormCount() const { return static_cast<int>(FForms.size()); }
  TCustomForm* Forms(int Index) const { return FForms.at(static_cast<size_t>(Index)); }
  TCustomForm* ActiveForm() const;
  void AddForm(TCustomForm* Form);
  void RemoveForm(TCustomForm* Form);

 private:
  TCursor FCursor = crDefault;
  std::vector<TCustomForm*> FForms;
};

using TIdleEvent = std::function<void(TObject* Sender, bool& Done)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
// A hook on the application window: sees each of its messages first, true consumes it.
using TWindowHook = std::function<bool(TMessage& Message)>;
using THookId = int32_t;

class TApplication : public TComponent {
 public:
  PELLORA_CLASS_NAME(TApplication)
  explicit TApplication(TComponent* AOwner);
  ~TApplication() override;

  void Initialize();
  const std::string& Title() const { return FTitle; }
  void SetTitle(const std::string& Value);
  // The hidden application window; made by Initialize (or on first request).
  HWND Handle();

  // Makes a form of class T from its design. The first form made becomes MainForm;
  // the others stay hidden until shown. A form whose design cannot be read is not made:
  // the error is shown and Reference stays nullptr.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = nullptr;
    T* form = nullptr;
    try {
      form = new T(this);
      Reference = form;
      form->LoadDesign();
    } catch (const std::exception& e) {
      Reference = nullptr;
      delete form;
      ShowException(e);
      return;
    }
    if (FMainForm == nullptr) FMainForm = form;
    form->DoCreate();
  }
  TCustomForm* MainForm() const { return FMainForm; }

  // Shows the main form and handles messages until it closes (or Terminate).
  void Run();
  void HandleMessage();
  void ProcessMessages();
  void Terminate();
  bool Terminated() const { return FTerminated; }
  // Starts a fresh run: the next Run loops again (for programs that run twice, and tests).
  void ResetTerminated() { FTerminated = false; }

  bool Active() const { return FActive; }
  const TIdleEvent& OnIdle() const { return FOnIdle; }
  void SetOnIdle(TIdleEvent Value) {
    FOnIdle = std::move(Value);
    FIdleReplaced = true;
  }
  // Idle processing has one slot for the program (OnIdle) and any number of subscribers,
  // each with its own id (frame timers subscribe for as long as they run). Every idle pass
  // calls the slot, then the subscribers in the order they came; the loop sleeps after a
  // pass only when each of them was done.
  THookId AddIdleHandler(TIdleEvent Handler);
  void RemoveIdleHandler(THookId Id);
  size_t IdleHandlerCount() const { return FIdleHandlers.size(); }
  // One idle pass without the wait that follows it; answers whether every callback was done.
  bool IdlePass();
  // For an idle callback that keeps the loop coming back (Done false) but has nothing
  // to do until the millisecond clock reads later than Now: after this pass the loop
  // sleeps until a message arrives or the clock moves on, instead of calling it again
  // at once. Asked afresh on each pass, by each callback that is not done.
  void IdleUntilClockPasses(DWORD Now) {
    FIdleClockAsked = true;
    FIdleClockSeen = Now;
  }
  const TExceptionEvent& OnException() const { return FOnException; }
  void SetOnException(TExceptionEvent Value) { FOnException = std::move(Value); }
  const TNotifyEvent& OnActivate() const { return FOnActivate; }
  void SetOnActivate(TNotifyEvent Value) { FOnActivate = std::move(Value); }
  const TNotifyEvent& OnDeactivate() const { return FOnDeactivate; }
  void SetOnDeactivate(TNotifyEvent Value) { FOnDeactivate = std::move(Value); }

  THookId HookMainWindow(TWindowHook Hook);
  void UnhookMainWindow(THookId Id);

  // The exception report: OnException when assigned, else a message box with the text.
  void HandleException(const std::exception& E);
  void ShowException(const std::exception& E);
  // A modal box with the text, the caption (the title when empty) and an OK button.
  int32_t MessageBox(const std::string& Text, const std::string& Caption);

  // Forms that close as the main form ends the run; used by TCustomForm.
  void MainFormClosed();
  // How many idle calls were made (for tests of the idle behaviour).
  int64_t IdleCount() const { return FIdleCount; }

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  bool ProcessMessage(MSG& Msg);
  bool IsKeyMsg(MSG& Msg);
  void Idle();
  // What the callbacks of one pass asked of the wait after it.
  struct IdlePassState {
    bool NotDone = false;       // some callback wants to come back
    bool WaitForClock = false;  // each such callback asked to wait for the clock
    DWORD Reading = 0;          // to pass the first one's reading
  };
  void CallIdleHandler(TIdleEvent& Handler, IdlePassState& Pass);
  void WndProc(TMessage& Message);
  static LRESULT AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);

  std::string FTitle;
  HWND FHandle = nullptr;
  TCustomForm* FMainForm = nullptr;
  bool FTerminated = false;
  bool FActive = false;
  bool FHandling = false;
  int64_t FIdleCount = 0;
  TIdleEvent FOnIdle;
  bool FIdleReplaced = false;
  struct IdleHandler {
    THookId Id;
    TIdleEvent Fn;  // empty while it runs
  };
  std::vector<IdleHandler> FIdleHandlers;  // in the order of their ids
  bool FIdleClockAsked = false;  // by the callback running now
  DWORD FIdleClockSeen = 0;
  IdlePassState FLastIdlePass;
  HWND FKeyQueuedFor = nullptr;  // the last key down: the window it was queued for
  HWND FKeyHandledBy = nullptr;  // and the one that handled it
  TExceptionEvent FOnException;
  TNotifyEvent FOnActivate;
  TNotifyEvent FOnDeactivate;
  struct Hook {
    THookId Id;
    TWindowHook Fn;
  };
  std::vector<Hook> FHooks;
  THookId FNextHook = 1;
};

// The application object and the screen, made on first use and alive for the program.
extern TApplication* Application;
extern TScreen* Screen;
// Makes Application and Screen when they are not there yet; Initialize calls it.
void EnsureApplication();
// Frees every form and the application window, and makes a fresh application object
// (tests start from nothing; the window system is reset separately).
void ResetApplication();

TCustomForm* GetParentForm(const TControl* Control);

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterFormsClasses();
