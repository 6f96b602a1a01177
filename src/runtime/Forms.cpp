#include "runtime/Forms.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "platform/clock/Clock.h"
#include "runtime/Dialogs.h"
#include "runtime/StdCtrls.h"

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

constexpr const char* kAppClass = "TApplication";
constexpr const char* kFormClass = "PelloraForm";

// The application object exists before main runs, as programs expect of it.
struct ApplicationMaker {
  ApplicationMaker() { EnsureApplication(); }
} gApplicationMaker;

void EnsureFormClass() {
  WNDCLASSA wc{};
  if (GetClassInfoA(nullptr, kFormClass, &wc)) return;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &TWinControl::StdWndProc;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kFormClass;
  RegisterClassA(&wc);
}

}  // namespace

void EnsureApplication() {
  if (Application == nullptr) Application = new TApplication(nullptr);
  if (Screen == nullptr) Screen = new TScreen(nullptr);
}

void ResetApplication() {
  delete Application;
  Application = nullptr;
  delete Screen;
  Screen = nullptr;
  EnsureApplication();
}

TCustomForm* GetParentForm(const TControl* Control) {
  const TControl* c = Control;
  while (c != nullptr && c->Parent() != nullptr) c = c->Parent();
  return const_cast<TCustomForm*>(dynamic_cast<const TCustomForm*>(c));
}

// ---- TCustomForm ----

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  FVisible = false;
  FParentFont = false;
  FColor = clBtnFace;
  FWidth = 320;
  FHeight = 240;
  if (Screen != nullptr) Screen->AddForm(this);
}

TCustomForm::~TCustomForm() {
  IncludeState(csDestroying);
  if (FOnDestroy) {
    try {
      FOnDestroy(this);
    } catch (const std::exception& e) {
      if (Application != nullptr) Application->HandleException(e);
    }
  }
  // The components go while the form is whole: a display may still need its window.
  DestroyComponents();
  FActiveControl = nullptr;
  DestroyHandle();
  if (Screen != nullptr) Screen->RemoveForm(this);
  if (Application != nullptr) Application->Notification(this, opRemove);
}

void TCustomForm::LoadDesign() { ReadComponentRes(this); }

void TCustomForm::DoCreate() {
  if (FOnCreate) {
    try {
      FOnCreate(this);
    } catch (const std::exception& e) {
      // The rest of the creation handler is skipped, and the form is still made.
      Application->HandleException(e);
    }
  }
  // Showing was held back while the design was read; a form designed visible shows once
  // it is made.
  if (FVisible && !(FHandle != nullptr && IsWindowVisible(FHandle))) {
    try {
      VisibleChanged();
    } catch (const std::exception& e) {
      Application->HandleException(e);
    }
  }
}

DWORD TCustomForm::BorderStyleBits() const {
  DWORD s = 0;
  switch (FBorderStyle) {
    case bsNone: s = WS_POPUP; break;
    case bsSingle: s = WS_CAPTION | WS_BORDER; break;
    case bsSizeable: s = WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog: s = WS_POPUP | WS_CAPTION; break;
    case bsToolWindow: s = WS_CAPTION; break;
    case bsSizeToolWin: s = WS_CAPTION | WS_THICKFRAME; break;
  }
  if (FBorderStyle != bsNone) {
    if (FBorderIcons & biSystemMenu) s |= WS_SYSMENU;
    if (FBorderStyle != bsDialog && FBorderStyle != bsToolWindow && FBorderStyle != bsSizeToolWin) {
      if (FBorderIcons & biMinimize) s |= WS_MINIMIZEBOX;
      if (FBorderIcons & biMaximize) s |= WS_MAXIMIZEBOX;
    }
  }
  return s;
}

DWORD TCustomForm::BorderExStyleBits() const {
  switch (FBorderStyle) {
    case bsDialog: return WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    case bsToolWindow:
    case bsSizeToolWin: return WS_EX_TOOLWINDOW;
    default: return 0;
  }
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
  if (FBorderStyle == Value) return;
  const TRect client = ClientRect();
  FBorderStyle = Value;
  if (FHandle == nullptr) {
    // Until the window exists the designed client area decides the outer size.
    if (!IsLoading() && FClientWidth < 0) {
      FClientWidth = client.right;
      FClientHeight = client.bottom;
      ApplyClientSize();
    }
    return;
  }
  constexpr DWORD mask = WS_POPUP | WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  const DWORD style = (static_cast<DWORD>(GetWindowLongA(FHandle, GWL_STYLE)) & ~mask) | BorderStyleBits();
  const DWORD exMask = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW;
  const DWORD ex = (static_cast<DWORD>(GetWindowLongA(FHandle, GWL_EXSTYLE)) & ~exMask) | BorderExStyleBits();
  SetWindowLongA(FHandle, GWL_STYLE, static_cast<LONG>(style));
  SetWindowLongA(FHandle, GWL_EXSTYLE, static_cast<LONG>(ex));
  SetWindowPos(FHandle, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
  if (FBorderIcons == Value) return;
  FBorderIcons = Value;
  if (FHandle != nullptr && !IsLoading()) {
    TFormBorderStyle b = FBorderStyle;
    FBorderStyle = b == bsNone ? bsSingle : bsNone;  // forces the styles to be applied again
    SetBorderStyle(b);
  }
}

void TCustomForm::SetWindowState(TWindowState Value) {
  if (FWindowState == Value) return;
  FWindowState = Value;
  if (FHandle != nullptr && FVisible) {
    ShowWindow(FHandle, Value == wsMinimized ? SW_MINIMIZE : Value == wsMaximized ? SW_MAXIMIZE : SW_RESTORE);
  }
}

TRect TCustomForm::ClientRect() const {
  if (FHandle != nullptr) {
    RECT r{};
    if (GetClientRect(FHandle, &r)) return r;
  }
  if (FClientWidth >= 0 && FClientHeight >= 0) return Rect(0, 0, FClientWidth, FClientHeight);
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, BorderStyleBits(), FALSE, BorderExStyleBits());
  return Rect(0, 0, std::max(0, FWidth - (frame.right - frame.left)), std::max(0, FHeight - (frame.bottom - frame.top)));
}

void TCustomForm::SetClientWidth(int32_t Value) {
  const TRect c = ClientRect();
  FClientWidth = std::max(0, Value);
  if (FClientHeight < 0) FClientHeight = c.bottom;
  if (!IsLoading()) ApplyClientSize();
}

void TCustomForm::SetClientHeight(int32_t Value) {
  const TRect c = ClientRect();
  FClientHeight = std::max(0, Value);
  if (FClientWidth < 0) FClientWidth = c.right;
  if (!IsLoading()) ApplyClientSize();
}

void TCustomForm::ApplyClientSize() {
  if (FClientWidth < 0 && FClientHeight < 0) return;
  const TRect c = ClientRect();
  RECT r{0, 0, FClientWidth >= 0 ? FClientWidth : c.right, FClientHeight >= 0 ? FClientHeight : c.bottom};
  FClientWidth = -1;
  FClientHeight = -1;
  AdjustWindowRectEx(&r, BorderStyleBits(), FALSE, BorderExStyleBits());
  SetBounds(FLeft, FTop, r.right - r.left, r.bottom - r.top);
}

void TCustomForm::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  TWinControl::SetBounds(ALeft, ATop, AWidth, AHeight);
}

void TCustomForm::Loaded() {
  TWinControl::Loaded();
  ApplyClientSize();
}

void TCustomForm::PlaceWindow(TCreateParams& Params) const {
  switch (FPosition) {
    case poScreenCenter:
    case poDesktopCenter:
      Params.X = (GetSystemMetrics(SM_CXSCREEN) - Params.Width) / 2;
      Params.Y = (GetSystemMetrics(SM_CYSCREEN) - Params.Height) / 2;
      break;
    case poDefault:
    case poDefaultPosOnly:
      Params.X = CW_USEDEFAULT;
      Params.Y = CW_USEDEFAULT;
      break;
    default:
      break;
  }
}

void TCustomForm::CreateParams(TCreateParams& Params) {
  Params.Caption = FText;
  Params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS | BorderStyleBits();
  if (!FEnabled) Params.Style |= WS_DISABLED;
  Params.ExStyle = BorderExStyleBits();
  if (FFormStyle == fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  PlaceWindow(Params);
  Params.WndParent = nullptr;
  Params.WinClassName = kFormClass;
}

void TCustomForm::CreateWnd() {
  EnsureFormClass();
  TWinControl::CreateWnd();
  // The system may have chosen the place; the form's bounds follow the window.
  RECT r;
  if (GetWindowRect(FHandle, &r)) {
    FLeft = r.left;
    FTop = r.top;
    FWidth = r.right - r.left;
    FHeight = r.bottom - r.top;
  }
  AlignControls();
}

void TCustomForm::TextChanged() {
  if (FHandle != nullptr) SetWindowTextA(FHandle, FText.c_str());
}

void TCustomForm::VisibleChanged() {
  if (FVisible) {
    HandleNeeded();
    DoShow();
    ShowWindow(FHandle, FWindowState == wsMinimized ? SW_SHOWMINIMIZED
                        : FWindowState == wsMaximized ? SW_SHOWMAXIMIZED
                                                      : SW_SHOWNORMAL);
    SetActiveWindow(FHandle);
    SetForegroundWindow(FHandle);
    UpdateWindow(FHandle);
  } else {
    DoHide();
    if (FHandle != nullptr) ShowWindow(FHandle, SW_HIDE);
  }
}

void TCustomForm::Show() {
  if (FVisible) {
    BringToFront();
    return;
  }
  SetVisible(true);
}

void TCustomForm::Hide() { SetVisible(false); }

void TCustomForm::BringToFront() {
  if (FHandle == nullptr) return;
  BringWindowToTop(FHandle);
  SetActiveWindow(FHandle);
}

void TCustomForm::DoShow() {
  if (FOnShow) FOnShow(this);
}
void TCustomForm::DoHide() {
  if (FOnHide) FOnHide(this);
}
void TCustomForm::DoClose(TCloseAction& Action) {
  if (FOnClose) FOnClose(this, Action);
}
void TCustomForm::Activate() {
  if (FOnActivate) FOnActivate(this);
}
void TCustomForm::Deactivate() {
  if (FOnDeactivate) FOnDeactivate(this);
}

bool TCustomForm::CloseQuery() {
  bool can = true;
  if (FOnCloseQuery) FOnCloseQuery(this, can);
  return can;
}

void TCustomForm::SetModalResult(TModalResult Value) {
  FModalResult = Value;
  // A handler run from inside a wait (a message sent while input was turned into
  // messages) leaves nothing in the queue, so the modal loop is told to look again.
  if (FModal && Value != mrNone && FHandle != nullptr) PostMessageA(FHandle, WM_NULL, 0, 0);
}

void TCustomForm::Close() {
  if (FModal) {
    SetModalResult(mrCancel);
    return;
  }
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application != nullptr && Application->MainForm() == this) {
    Application->MainFormClosed();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    default: break;
  }
}

void TCustomForm::CloseModal() {
  TCloseAction action = caHide;
  if (!CloseQuery()) {
    action = caNone;
  } else {
    DoClose(action);
  }
  if (action == caNone) FModalResult = mrNone;
}

TModalResult TCustomForm::ShowModal() {
  if (FVisible || !FEnabled || FModal) throw EInvalidOperation(SCannotShowModal);
  if (GetCapture() != nullptr) ReleaseCapture();
  HWND previous = GetActiveWindow();
  // Every other form is disabled while this one is up, so input reaches only this one.
  std::vector<HWND> disabled;
  for (int i = 0; i < Screen->FormCount(); ++i) {
    TCustomForm* f = Screen->Forms(i);
    if (f == this || !f->HandleAllocated()) continue;
    HWND h = f->Handle();
    if (IsWindowEnabled(h)) {
      EnableWindow(h, FALSE);
      disabled.push_back(h);
    }
  }
  FModal = true;
  FModalResult = mrNone;
  auto restore = [&]() {
    for (HWND h : disabled) {
      if (IsWindow(h)) EnableWindow(h, TRUE);
    }
    FModal = false;
    if (FVisible) Hide();
    if (previous != nullptr && IsWindow(previous)) SetActiveWindow(previous);
  };
  try {
    Show();
    do {
      Application->HandleMessage();
      if (Application->Terminated()) {
        FModalResult = mrCancel;
      } else if (FModalResult != mrNone) {
        CloseModal();
      }
    } while (FModalResult == mrNone);
  } catch (...) {
    restore();
    throw;
  }
  const TModalResult result = FModalResult;
  restore();
  return result;
}

void TCustomForm::Release() {
  if (FHandle != nullptr) {
    PostMessageA(FHandle, CM_RELEASE, 0, 0);
  } else {
    delete this;
  }
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
  if (FActiveControl == Control) return;
  if (Control != nullptr && (Control == this || !ContainsControl(Control))) {
    throw EInvalidOperation("Cannot focus a control that is not on this form");
  }
  FActiveControl = Control;
  if (Control != nullptr && !IsLoading() && FActive && Control->CanFocus()) Control->SetFocus();
}

void TCustomForm::FocusControlChanged(TWinControl* Control) {
  if (Control != this) FActiveControl = Control;
}

TButtonControl* TCustomForm::DefaultButton() const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  for (TWinControl* w : list) {
    if (auto* b = dynamic_cast<TButton*>(w); b != nullptr && b->Default() && b->CanFocus()) return b;
  }
  return nullptr;
}

TButtonControl* TCustomForm::CancelButton() const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  for (TWinControl* w : list) {
    if (auto* b = dynamic_cast<TButton*>(w); b != nullptr && b->Cancel() && b->CanFocus()) return b;
  }
  return nullptr;
}

bool TCustomForm::DialogKey(WORD Key, TShiftState Shift) {
  switch (Key) {
    case VK_TAB:
      if (Shift & (ssCtrl | ssAlt)) return false;
      SelectNext(FActiveControl, (Shift & ssShift) == 0, true);
      return true;
    case VK_RETURN: {
      // A focused button takes Enter itself; elsewhere the default button does.
      if (auto* focused = dynamic_cast<TButton*>(FActiveControl); focused != nullptr && focused->Focused()) {
        focused->Click();
        return true;
      }
      if (TButtonControl* b = DefaultButton()) {
        b->Click();
        return true;
      }
      return false;
    }
    case VK_ESCAPE:
      if (TButtonControl* b = CancelButton()) {
        b->Click();
        return true;
      }
      return false;
    default:
      return false;
  }
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FActiveControl) FActiveControl = nullptr;
}

void TCustomForm::Paint(TCanvas* Canvas) {
  (void)Canvas;
  if (FOnPaint) FOnPaint(this);
}

void TCustomForm::PaintWindow(HDC DC) {
  FCanvas.SetHandle(DC);
  try {
    FCanvas.Font()->Assign(FFont.get());
    PaintBackground(&FCanvas);
    Paint(&FCanvas);
    PaintControls(&FCanvas);
  } catch (...) {
    FCanvas.SetHandle(nullptr);
    throw;
  }
  FCanvas.SetHandle(nullptr);
}

void TCustomForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_ACTIVATE:
      if (LOWORD(Message.WParam) != WA_INACTIVE) {
        FActive = true;
        HWND focus = GetFocus();
        const bool inside = focus != nullptr && (focus == FHandle || IsChild(FHandle, focus));
        if (!inside || focus == FHandle) {
          if (FActiveControl != nullptr && FActiveControl->CanFocus()) {
            ::SetFocus(FActiveControl->Handle());
          } else if (TWinControl* first = FindNextControl(nullptr, true, true)) {
            first->SetFocus();
          } else {
            ::SetFocus(FHandle);
          }
        }
        Activate();
      } else {
        FActive = false;
        Deactivate();
      }
      Message.Result = 0;
      return;
    case WM_CLOSE:
      Close();
      Message.Result = 0;
      return;
    case WM_SIZE:
      if (Message.WParam == SIZE_MINIMIZED) {
        FWindowState = wsMinimized;
      } else if (Message.WParam == SIZE_MAXIMIZED) {
        FWindowState = wsMaximized;
      } else {
        FWindowState = wsNormal;
      }
      break;
    case WM_SETFOCUS:
      // The form window itself has the focus only while it has no control to give it to.
      if (FActiveControl != nullptr && FActiveControl->CanFocus() && FActiveControl->HandleAllocated()) {
        ::SetFocus(FActiveControl->Handle());
        return;
      }
      return;
    default:
      break;
  }
  TWinControl::WndProc(Message);
}

// ---- TScreen ----

int32_t TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int32_t TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

void TScreen::SetCursor(TCursor Value) {
  if (FCursor == Value) return;
  FCursor = Value;
  if (Value != crDefault) ::SetCursor(CursorHandle(Value));
}

TCustomForm* TScreen::ActiveForm() const {
  HWND active = GetActiveWindow();
  for (TCustomForm* f : FForms) {
    if (f->HandleAllocated() && f->Handle() == active) return f;
  }
  return nullptr;
}

void TScreen::AddForm(TCustomForm* Form) { FForms.push_back(Form); }
void TScreen::RemoveForm(TCustomForm* Form) {
  auto it = std::find(FForms.begin(), FForms.end(), Form);
  if (it != FForms.end()) FForms.erase(it);
}

// ---- TApplication ----

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  IncludeState(csDestroying);
  FMainForm = nullptr;
  DestroyComponents();
  if (FHandle != nullptr) {
    DestroyWindow(FHandle);
    FHandle = nullptr;
  }
  if (Application == this) Application = nullptr;
}

void TApplication::Initialize() {
  EnsureApplication();
  Handle();
}

HWND TApplication::Handle() {
  if (FHandle != nullptr && IsWindow(FHandle)) return FHandle;
  FHandle = nullptr;
  WNDCLASSA wc{};
  if (!GetClassInfoA(nullptr, kAppClass, &wc)) {
    wc.lpfnWndProc = &TApplication::AppWndProc;
    wc.lpszClassName = kAppClass;
    RegisterClassA(&wc);
  }
  // A hidden top-level window: it has no pixels of its own, it carries the title and
  // receives the application's activation changes.
  FHandle = CreateWindowExA(0, kAppClass, FTitle.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0,
                            0, nullptr, nullptr, nullptr, nullptr);
  return FHandle;
}

void TApplication::SetTitle(const std::string& Value) {
  if (FTitle == Value) return;
  FTitle = Value;
  if (FHandle != nullptr) SetWindowTextA(FHandle, FTitle.c_str());
}

LRESULT TApplication::AppWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  if (Application == nullptr || (Application->FHandle != nullptr && Application->FHandle != Wnd)) {
    return DefWindowProcA(Wnd, Msg, WParam, LParam);
  }
  if (Application->FHandle == nullptr) Application->FHandle = Wnd;
  TMessage m{Msg, WParam, LParam, 0};
  try {
    Application->WndProc(m);
  } catch (const std::exception& e) {
    Application->HandleException(e);
  }
  return m.Result;
}

void TApplication::WndProc(TMessage& Message) {
  // Hooks see every message of the application window first; one that answers true
  // consumes it.
  for (const Hook& h : std::vector<Hook>(FHooks)) {
    if (h.Fn(Message)) return;
  }
  switch (Message.Msg) {
    case WM_ACTIVATEAPP:
      // The flag changes before the notice is posted, so whoever handles the notice
      // already sees the new state.
      FActive = Message.WParam != 0;
      PostMessageA(FHandle, FActive ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
      Message.Result = 0;
      return;
    case CM_ACTIVATE:
      if (FOnActivate) FOnActivate(this);
      return;
    case CM_DEACTIVATE:
      if (FOnDeactivate) FOnDeactivate(this);
      return;
    case WM_CLOSE:
      if (FMainForm != nullptr) FMainForm->Close();
      return;
    default:
      break;
  }
  Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

THookId TApplication::HookMainWindow(TWindowHook Hook) {
  const THookId id = FNextHook++;
  FHooks.push_back({id, std::move(Hook)});
  return id;
}

void TApplication::UnhookMainWindow(THookId Id) {
  FHooks.erase(std::remove_if(FHooks.begin(), FHooks.end(), [Id](const Hook& h) { return h.Id == Id; }), FHooks.end());
}

void TApplication::Run() {
  if (FMainForm == nullptr) return;
  try {
    if (!FMainForm->Visible()) FMainForm->Show();
  } catch (const std::exception& e) {
    HandleException(e);
  }
  // A main form whose window could not be made can never be closed, and without a window
  // system every wait returns at once: looping on would spin for ever.
  while (!FTerminated && FMainForm != nullptr && FMainForm->HandleAllocated()) HandleMessage();
}

void TApplication::HandleMessage() {
  MSG msg;
  if (!ProcessMessage(msg)) Idle();
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (ProcessMessage(msg)) {
  }
}

bool TApplication::ProcessMessage(MSG& Msg) {
  if (!PeekMessageA(&Msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (Msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  // Keys belong to the window that has the focus when they are handled: a Tab that
  // moved the focus sends the keys typed after it to the new control, even when they
  // were queued before it took effect. A character goes where its key went, though: the
  // key that opens a dialog must not type into the dialog.
  if (Msg.message >= WM_KEYFIRST && Msg.message <= WM_KEYLAST) {
    const bool character = Msg.message == WM_CHAR || Msg.message == WM_SYSCHAR;
    if (character && FKeyHandledBy != nullptr && (Msg.hwnd == FKeyQueuedFor || Msg.hwnd == FKeyHandledBy)) {
      Msg.hwnd = FKeyHandledBy;
    } else {
      const HWND queuedFor = Msg.hwnd;
      HWND focus = GetFocus();
      if (focus != nullptr && focus != Msg.hwnd && TWinControl::FromHandle(focus) != nullptr) Msg.hwnd = focus;
      if (Msg.message == WM_KEYDOWN || Msg.message == WM_SYSKEYDOWN) {
        FKeyQueuedFor = queuedFor;
        FKeyHandledBy = Msg.hwnd;
      }
    }
  }
  try {
    if (!IsKeyMsg(Msg)) {
      TranslateMessage(&Msg);
      DispatchMessageA(&Msg);
    }
  } catch (const std::exception& e) {
    HandleException(e);
  }
  return true;
}

bool TApplication::IsKeyMsg(MSG& Msg) {
  if (Msg.message != WM_KEYDOWN && Msg.message != WM_SYSKEYDOWN) return false;
  TWinControl* c = TWinControl::FromHandle(Msg.hwnd);
  if (c == nullptr) return false;
  HWND root = GetAncestor(Msg.hwnd, GA_ROOT);
  if (!c->Enabled() || (root != nullptr && !IsWindowEnabled(root))) return true;
  // The key goes through the previewing form, the control's handlers and the dialog keys
  // here, so a key used as a dialog key (Enter pressing a button that closes a dialog)
  // makes no character that would land on the next window.
  WORD key = static_cast<WORD>(Msg.wParam);
  const TShiftState shift = KeyboardShiftState();
  bool consumed = c->DoKeyDown(key, shift);
  if (!consumed && !c->WantsKey(key, shift)) consumed = c->DialogKey(key, shift);
  if (!consumed) {
    Msg.wParam = key;
    TranslateMessage(&Msg);
  }
  return true;
}

THookId TApplication::AddIdleHandler(TIdleEvent Handler) {
  const THookId id = FNextHook++;
  FIdleHandlers.push_back({id, std::move(Handler)});
  return id;
}

void TApplication::RemoveIdleHandler(THookId Id) {
  std::erase_if(FIdleHandlers, [Id](const IdleHandler& h) { return h.Id == Id; });
}

void TApplication::CallIdleHandler(TIdleEvent& Handler, IdlePassState& Pass) {
  bool done = true;
  FIdleClockAsked = false;
  std::exception_ptr failure;
  try {
    Handler(this, done);
  } catch (...) {
    failure = std::current_exception();
  }
  if (!done) {
    // The loop may sleep to the next clock reading only if every callback that wants to
    // come back asked for that. The first one's reading is the one to pass: a later one
    // that differs means the clock has passed it already.
    if (!Pass.NotDone) Pass.Reading = FIdleClockSeen;
    Pass.WaitForClock = FIdleClockAsked && (Pass.WaitForClock || !Pass.NotDone);
    Pass.NotDone = true;
  }
  if (failure) std::rethrow_exception(failure);
}

bool TApplication::IdlePass() {
  IdlePassState pass;
  if (FOnIdle) {
    // The callback may replace or clear itself while it runs; it is moved out of the
    // slot for the call (no copy, no allocation) and put back unless it was replaced.
    TIdleEvent handler = std::move(FOnIdle);
    FOnIdle = nullptr;
    FIdleReplaced = false;
    try {
      CallIdleHandler(handler, pass);
    } catch (const std::exception& e) {
      if (!FIdleReplaced) FOnIdle = std::move(handler);
      HandleException(e);
      handler = nullptr;
    }
    if (handler && !FIdleReplaced) FOnIdle = std::move(handler);
  }
  // Subscribers may come and go while one runs (a frame that stops its timer, say): each
  // is found again by its id, and one that is running further up the stack (a modal loop
  // inside it) is not called again.
  for (THookId last = 0;;) {
    auto it = std::upper_bound(FIdleHandlers.begin(), FIdleHandlers.end(), last,
                               [](THookId id, const IdleHandler& h) { return id < h.Id; });
    if (it == FIdleHandlers.end()) break;
    last = it->Id;
    if (!it->Fn) continue;
    TIdleEvent handler = std::move(it->Fn);
    const auto putBack = [&] {
      auto home = std::find_if(FIdleHandlers.begin(), FIdleHandlers.end(),
                               [last](const IdleHandler& h) { return h.Id == last; });
      if (home != FIdleHandlers.end()) home->Fn = std::move(handler);
    };
    try {
      CallIdleHandler(handler, pass);
    } catch (const std::exception& e) {
      putBack();
      HandleException(e);
      continue;
    }
    putBack();
  }
  FLastIdlePass = pass;
  return !pass.NotDone;
}

void TApplication::Idle() {
  ++FIdleCount;
  // Nothing spins: with every callback content, the loop sleeps until a message comes.
  if (IdlePass()) {
    WaitMessage();
  } else if (FLastIdlePass.WaitForClock && timeGetTime() == FLastIdlePass.Reading) {
    // The wait counts from now, still the reading the callbacks saw, so it ends at the
    // next reading: they see each clock value a polling loop would see.
    WaitMessageTimeout(1);
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::MainFormClosed() { Terminate(); }

void TApplication::HandleException(const std::exception& E) {
  if (FOnException) {
    FOnException(this, E);
    return;
  }
  ShowException(E);
}

void TApplication::ShowException(const std::exception& E) {
  std::string text = E.what();
  if (!text.empty() && text.back() != '.') text += '.';
  std::fprintf(stderr, "%s: %s\n", FTitle.empty() ? "Exception" : FTitle.c_str(), E.what());
  // One report at a time: a handler that fails again while its report is up (a paint,
  // say) is only logged, instead of stacking boxes without end.
  if (FHandling) return;
  FHandling = true;
  try {
    MessageBox(text, FTitle);
  } catch (const std::exception& inner) {
    std::fprintf(stderr, "The error could not be shown: %s\n", inner.what());
  }
  FHandling = false;
}

int32_t TApplication::MessageBox(const std::string& Text, const std::string& Caption) {
  return ShowMessageBox(Text, Caption.empty() ? FTitle : Caption);
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FMainForm) FMainForm = nullptr;
}

// ---- published properties ----

void RegisterFormsClasses() {
  RegisterPersistentClass<TCustomForm, TWinControl>()
      .Str("Caption", &TCustomForm::SetCaption)
      .Enum("BorderStyle", &TCustomForm::SetBorderStyle,
            {{"bsNone", bsNone},
             {"bsSingle", bsSingle},
             {"bsSizeable", bsSizeable},
             {"bsDialog", bsDialog},
             {"bsToolWindow", bsToolWindow},
             {"bsSizeToolWin", bsSizeToolWin}})
      .Set("BorderIcons", &TCustomForm::SetBorderIcons, {"biSystemMenu", "biMinimize", "biMaximize", "biHelp"})
      .Enum("Position", &TCustomForm::SetPosition,
            {{"poDesigned", poDesigned},
             {"poDefault", poDefault},
             {"poDefaultPosOnly", poDefaultPosOnly},
             {"poDefaultSizeOnly", poDefaultSizeOnly},
             {"poScreenCenter", poScreenCenter},
             {"poDesktopCenter", poDesktopCenter}})
      .Enum("WindowState", &TCustomForm::SetWindowState,
            {{"wsNormal", wsNormal}, {"wsMinimized", wsMinimized}, {"wsMaximized", wsMaximized}})
      .Enum("FormStyle", &TCustomForm::SetFormStyle,
            {{"fsNormal", fsNormal}, {"fsMDIChild", fsMDIChild}, {"fsMDIForm", fsMDIForm}, {"fsStayOnTop", fsStayOnTop}})
      .Int("ClientWidth", &TCustomForm::SetClientWidth, 0)
      .Int("ClientHeight", &TCustomForm::SetClientHeight, 0)
      .Bool("KeyPreview", &TCustomForm::SetKeyPreview)
      .Bool("Scaled", &TCustomForm::SetScaled)
      .Int("PixelsPerInch", &TCustomForm::SetPixelsPerInch, 1)
      .Int("TextHeight", &TCustomForm::SetTextHeight, 0)
      .Bool("OldCreateOrder", &TCustomForm::SetOldCreateOrder)
      .Ref("ActiveControl", &TCustomForm::SetActiveControl)
      .Event("OnCreate", &TCustomForm::SetOnCreate)
      .Event("OnDestroy", &TCustomForm::SetOnDestroy)
      .Event("OnShow", &TCustomForm::SetOnShow)
      .Event("OnHide", &TCustomForm::SetOnHide)
      .Event("OnClose", &TCustomForm::SetOnClose)
      .Event("OnCloseQuery", &TCustomForm::SetOnCloseQuery)
      .Event("OnActivate", &TCustomForm::SetOnActivate)
      .Event("OnDeactivate", &TCustomForm::SetOnDeactivate)
      .Event("OnPaint", &TCustomForm::SetOnPaint);
  RegisterComponentClass<TForm, TCustomForm>();
}
