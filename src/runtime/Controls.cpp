#include "runtime/Controls.h"

#include <algorithm>
#include <unordered_map>

#include "runtime/DesignsRegistry.h"
#include "runtime/Forms.h"

namespace {

constexpr const char* kControlClass = "PelloraControl";

// The control whose window is being made: its first messages arrive before
// CreateWindowEx has answered the handle.
TWinControl* gCreating = nullptr;

std::unordered_map<HWND, TWinControl*>& HandleMap() {
  static std::unordered_map<HWND, TWinControl*> map;
  return map;
}

void EnsureWindowClass() {
  WNDCLASSA wc{};
  if (GetClassInfoA(nullptr, kControlClass, &wc)) return;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &TWinControl::StdWndProc;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = kControlClass;
  RegisterClassA(&wc);
}

bool IsMouseMessage(UINT m) { return m >= WM_MOUSEFIRST && m <= WM_MOUSELAST; }
bool IsKeyMessage(UINT m) { return m >= WM_KEYFIRST && m <= WM_KEYLAST; }

}  // namespace

TShiftState KeysToShiftState(WPARAM Keys) {
  TShiftState s = 0;
  if (Keys & MK_SHIFT) s |= ssShift;
  if (Keys & MK_CONTROL) s |= ssCtrl;
  if (Keys & MK_LBUTTON) s |= ssLeft;
  if (Keys & MK_RBUTTON) s |= ssRight;
  if (Keys & MK_MBUTTON) s |= ssMiddle;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

TShiftState KeyboardShiftState() {
  TShiftState s = 0;
  if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
  if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
  if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
  return s;
}

HCURSOR CursorHandle(TCursor Cursor) {
  switch (Cursor) {
    case crNone: return nullptr;
    case crCross: return LoadCursorA(nullptr, IDC_CROSS);
    case crIBeam: return LoadCursorA(nullptr, IDC_IBEAM);
    case crSizeNESW: return LoadCursorA(nullptr, IDC_SIZENESW);
    case crSizeNS: return LoadCursorA(nullptr, IDC_SIZENS);
    case crSizeNWSE: return LoadCursorA(nullptr, IDC_SIZENWSE);
    case crSizeWE: return LoadCursorA(nullptr, IDC_SIZEWE);
    case crUpArrow: return LoadCursorA(nullptr, IDC_UPARROW);
    case crHourGlass: return LoadCursorA(nullptr, IDC_WAIT);
    case crNo: return LoadCursorA(nullptr, IDC_NO);
    case crAppStart: return LoadCursorA(nullptr, IDC_APPSTARTING);
    case crHelp: return LoadCursorA(nullptr, IDC_HELP);
    case crHandPoint: return LoadCursorA(nullptr, IDC_HAND);
    case crSizeAll: return LoadCursorA(nullptr, IDC_SIZEALL);
    default: return LoadCursorA(nullptr, IDC_ARROW);
  }
}

// ---- drawing helpers ----

void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int32_t Width) {
  for (int32_t i = 0; i < Width; ++i) {
    const int32_t r = Rect.right - 1;
    const int32_t b = Rect.bottom - 1;
    Canvas->Pen()->SetColor(TopColor);
    Canvas->MoveTo(Rect.left, b);
    Canvas->LineTo(Rect.left, Rect.top);
    Canvas->LineTo(r, Rect.top);
    Canvas->Pen()->SetColor(BottomColor);
    Canvas->MoveTo(r, Rect.top);
    Canvas->LineTo(r, b);
    Canvas->LineTo(Rect.left - 1, b);
    Rect.left += 1;
    Rect.top += 1;
    Rect.right -= 1;
    Rect.bottom -= 1;
  }
}

void DrawSunkenEdge(TCanvas* Canvas, TRect& Rect) {
  Frame3D(Canvas, Rect, clBtnShadow, clBtnHighlight, 1);
  Frame3D(Canvas, Rect, cl3DDkShadow, cl3DLight, 1);
}

void DrawRaisedEdge(TCanvas* Canvas, TRect& Rect, bool Pressed) {
  if (Pressed) {
    Frame3D(Canvas, Rect, cl3DDkShadow, clBtnHighlight, 1);
    Frame3D(Canvas, Rect, clBtnShadow, cl3DLight, 1);
  } else {
    Frame3D(Canvas, Rect, clBtnHighlight, cl3DDkShadow, 1);
    Frame3D(Canvas, Rect, cl3DLight, clBtnShadow, 1);
  }
}

// ---- TControl ----

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(std::make_unique<TFont>()) {
  FWindowProc = [this](TMessage& m) { WndProc(m); };
  FFont->SetOnChange([this](TObject*) {
    if (!FUpdatingFont) {
      FParentFont = false;
      FontChanged();
    }
  });
}

TControl::~TControl() {
  if (FParent != nullptr) FParent->RemoveControl(this);
}

void TControl::SetParentComponent(TComponent* Value) {
  if (auto* w = dynamic_cast<TWinControl*>(Value)) SetParent(w);
}

void TControl::SetParent(TWinControl* Value) {
  if (FParent == Value) return;
  if (Value == this) throw EInvalidOperation("A control cannot be its own parent");
  if (FParent != nullptr) FParent->RemoveControl(this);
  if (Value != nullptr) Value->InsertControl(this);
  ParentFontChanged();
  ParentColorChanged();
  ParentChanged();
}

void TControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  Invalidate();  // the old place
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max(AWidth, 0);
  FHeight = std::max(AHeight, 0);
  Invalidate();
  BoundsChanged();
}

TPoint TControl::ClientToScreen(TPoint P) const {
  TPoint r = P;
  const TControl* c = this;
  while (c != nullptr) {
    if (c->IsWindowed() && const_cast<TControl*>(c)->Parent() == nullptr) {
      auto* w = const_cast<TWinControl*>(static_cast<const TWinControl*>(c));
      if (w->HandleAllocated()) {
        POINT p{r.x, r.y};
        ::ClientToScreen(w->Handle(), &p);
        return p;
      }
    }
    if (c->FParent == nullptr) {
      r.x += c->FLeft;
      r.y += c->FTop;
      break;
    }
    r.x += c->FLeft;
    r.y += c->FTop;
    c = c->FParent;
  }
  return r;
}

TPoint TControl::ScreenToClient(TPoint P) const {
  const TPoint origin = ClientToScreen(Point(0, 0));
  return Point(P.x - origin.x, P.y - origin.y);
}

void TControl::SetAlign(TAlign Value) {
  if (FAlign == Value) return;
  FAlign = Value;
  if (FParent != nullptr && !IsLoading()) FParent->AlignControls();
}

void TControl::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  if (!IsLoading()) VisibleChanged();
}

void TControl::VisibleChanged() {
  if (FParent != nullptr) FParent->Invalidate();
}

void TControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  EnabledChanged();
}

bool TControl::IsShowing() const {
  for (const TControl* c = this; c != nullptr; c = c->FParent) {
    if (!c->FVisible) return false;
  }
  return true;
}

void TControl::SetText(const std::string& Value) {
  if (FText == Value) return;
  FText = Value;
  TextChanged();
}

void TControl::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  FParentColor = false;
  ColorChanged();
}

void TControl::SetParentFont(bool Value) {
  if (FParentFont == Value) return;
  FParentFont = Value;
  if (Value) ParentFontChanged();
}

void TControl::SetParentColor(bool Value) {
  if (FParentColor == Value) return;
  FParentColor = Value;
  if (Value) ParentColorChanged();
}

void TControl::ParentFontChanged() {
  if (!FParentFont || FParent == nullptr) return;
  FUpdatingFont = true;
  FFont->Assign(FParent->Font());
  FUpdatingFont = false;
  FontChanged();
}

void TControl::ParentColorChanged() {
  if (!FParentColor || FParent == nullptr) return;
  FColor = FParent->Color();
  ColorChanged();
}

void TControl::FontChanged() {
  AdjustSize();
  Invalidate();
  if (auto* w = dynamic_cast<TWinControl*>(this)) {
    for (int i = 0; i < w->ControlCount(); ++i) w->Controls(i)->ParentFontChanged();
  }
}

void TControl::SetCursor(TCursor Value) { FCursor = Value; }

void TControl::SetWindowProc(TWndMethod Value) {
  if (Value) {
    FWindowProc = std::move(Value);
  } else {
    FWindowProc = [this](TMessage& m) { WndProc(m); };
  }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
  TMessage m{Msg, WParam, LParam, 0};
  FWindowProc(m);
  return m.Result;
}

void TControl::WndProc(TMessage& Message) { DefaultHandler(Message); }
void TControl::DefaultHandler(TMessage& Message) { Message.Result = 0; }

void TControl::Invalidate() {
  if (FParent == nullptr || !FParent->HandleAllocated() || !FVisible) return;
  const RECT r = BoundsRect();
  InvalidateRect(FParent->Handle(), &r, FALSE);
}

void TControl::Repaint() {
  Invalidate();
  if (FParent != nullptr && FParent->HandleAllocated()) UpdateWindow(FParent->Handle());
}

void TControl::Click() {
  if (FOnClick) FOnClick(this);
}

void TControl::DblClick() {
  if (FOnDblClick) FOnDblClick(this);
}

void TControl::DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (FOnMouseDown) FOnMouseDown(this, Button, Shift, X, Y);
}
void TControl::DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (FOnMouseUp) FOnMouseUp(this, Button, Shift, X, Y);
}
void TControl::DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FOnMouseMove) FOnMouseMove(this, Shift, X, Y);
}

TCustomForm* TControl::ParentForm() const { return GetParentForm(this); }

void TControl::Loaded() {
  TComponent::Loaded();
  ParentFontChanged();
  ParentColorChanged();
  AdjustSize();
  if (FAlign != alNone && FParent != nullptr) FParent->AlignControls();
}

void TControl::MouseInput(UINT Msg, WPARAM Keys, int32_t X, int32_t Y) {
  if (!FEnabled) return;
  TShiftState shift = KeysToShiftState(Keys);
  auto button = [&](UINT m) {
    if (m == WM_RBUTTONDOWN || m == WM_RBUTTONUP || m == WM_RBUTTONDBLCLK) return mbRight;
    if (m == WM_MBUTTONDOWN || m == WM_MBUTTONUP || m == WM_MBUTTONDBLCLK) return mbMiddle;
    return mbLeft;
  };
  switch (Msg) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      if (Msg == WM_LBUTTONDOWN) FMouseDown = true;
      DoMouseDown(button(Msg), shift, X, Y);
      break;
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
      if (Msg == WM_LBUTTONDBLCLK) {
        FMouseDown = true;
        DblClick();
      }
      DoMouseDown(button(Msg), shift | ssDouble, X, Y);
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
      const bool wasDown = FMouseDown && Msg == WM_LBUTTONUP;
      if (Msg == WM_LBUTTONUP) FMouseDown = false;
      DoMouseUp(button(Msg), shift, X, Y);
      if (wasDown && FClickOnRelease && X >= 0 && Y >= 0 && X < FWidth && Y < FHeight) Click();
      break;
    }
    case WM_MOUSEMOVE:
      DoMouseMove(shift, X, Y);
      break;
    default:
      break;
  }
}

// ---- TWinControl ----

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  DestroyHandle();
  // A parent frees its remaining children, newest first.
  while (!FControls.empty()) {
    TControl* c = FControls.back();
    RemoveControl(c);
    delete c;
  }
}

TWinControl* TWinControl::FromHandle(HWND Wnd) {
  auto it = HandleMap().find(Wnd);
  return it == HandleMap().end() ? nullptr : it->second;
}

LRESULT TWinControl::StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam) {
  TWinControl* c = FromHandle(Wnd);
  if (c == nullptr && gCreating != nullptr) {
    c = gCreating;
    gCreating = nullptr;
    c->FHandle = Wnd;
    HandleMap()[Wnd] = c;
  }
  if (c == nullptr) return DefWindowProcA(Wnd, Msg, WParam, LParam);
  if (Msg == CM_RELEASE) {
    // A form asked to be freed once the messages it was handling were done.
    delete c;
    return 0;
  }
  TMessage m{Msg, WParam, LParam, 0};
  try {
    c->FWindowProc(m);
  } catch (const std::exception& e) {
    // An exception never crosses the window system: the application reports it and the
    // program goes on.
    Application->HandleException(e);
  }
  return m.Result;
}

HWND TWinControl::Handle() {
  if (FHandle == nullptr) CreateHandle();
  return FHandle;
}

void TWinControl::CreateHandle() {
  if (FHandle != nullptr) return;
  CreateWnd();
}

void TWinControl::CreateParams(TCreateParams& Params) {
  Params.Caption = FText;
  Params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (FVisible) Params.Style |= WS_VISIBLE;
  if (!FEnabled) Params.Style |= WS_DISABLED;
  if (FTabStop) Params.Style |= WS_TABSTOP;
  Params.ExStyle = 0;
  Params.X = FLeft;
  Params.Y = FTop;
  Params.Width = FWidth;
  Params.Height = FHeight;
  Params.WndParent = FParent != nullptr ? FParent->Handle() : nullptr;
  Params.WinClassName = kControlClass;
}

void TWinControl::CreateWnd() {
  TCreateParams p;
  CreateParams(p);
  if ((p.Style & WS_CHILD) && p.WndParent == nullptr) {
    throw EInvalidOperation(Format("Control '%s' has no parent window", {Name()}));
  }
  EnsureWindowClass();
  gCreating = this;
  HWND h = CreateWindowExA(p.ExStyle, p.WinClassName.c_str(), p.Caption.c_str(), p.Style, p.X, p.Y, p.Width,
                           p.Height, p.WndParent, nullptr, nullptr, nullptr);
  gCreating = nullptr;
  if (h == nullptr) {
    FHandle = nullptr;
    throw EOutOfResources(Format("Error creating window for %s (%s)", {ClassName(), PresenterError()}));
  }
  FHandle = h;
  HandleMap()[h] = this;
  for (TControl* c : std::vector<TControl*>(FControls)) {
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->HandleNeeded();
  }
}

void TWinControl::DestroyWnd() {
  HWND h = FHandle;
  for (TControl* c : FControls) {
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  }
  if (h != nullptr) {
    DestroyWindow(h);
    HandleMap().erase(h);
  }
  FHandle = nullptr;
}

void TWinControl::DestroyHandle() {
  if (FHandle != nullptr) DestroyWnd();
}

void TWinControl::RecreateWnd() {
  if (FHandle == nullptr) return;
  DestroyHandle();
  HandleNeeded();
}

TControl* TWinControl::Controls(int Index) const {
  if (Index < 0 || Index >= ControlCount()) ListIndexError(Index);
  return FControls[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
  AControl->FParent = this;
  FControls.push_back(AControl);
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
    w->FJoinOrder = static_cast<int32_t>(FTabList.size());
    FTabList.push_back(w);
    if (w->FPendingTabOrder >= 0) w->UpdateTabOrder(w->FPendingTabOrder);
    if (FHandle != nullptr && !IsLoading()) w->HandleNeeded();
  }
  AControl->Invalidate();
}

void TWinControl::RemoveControl(TControl* AControl) {
  AControl->Invalidate();
  if (FMouseControl == AControl) FMouseControl = nullptr;
  auto it = std::find(FControls.begin(), FControls.end(), AControl);
  if (it != FControls.end()) FControls.erase(it);
  auto t = std::find(FTabList.begin(), FTabList.end(), AControl);
  if (t != FTabList.end()) FTabList.erase(t);
  if (auto* w = dynamic_cast<TWinControl*>(AControl)) w->DestroyHandle();
  AControl->FParent = nullptr;
  if (TCustomForm* f = GetParentForm(this)) f->Notification(AControl, opRemove);
}

bool TWinControl::ContainsControl(const TControl* AControl) const {
  for (const TControl* c = AControl; c != nullptr; c = c->Parent()) {
    if (c == this) return true;
  }
  return false;
}

TControl* TWinControl::ControlAtPos(TPoint P) const {
  for (auto it = FControls.rbegin(); it != FControls.rend(); ++it) {
    TControl* c = *it;
    if (c->IsWindowed() || !c->Visible()) continue;
    if (P.x >= c->Left() && P.y >= c->Top() && P.x < c->Left() + c->Width() && P.y < c->Top() + c->Height()) {
      return c;
    }
  }
  return nullptr;
}

int32_t TWinControl::TabOrder() const {
  if (FParent == nullptr) return -1;
  const auto& list = FParent->FTabList;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int32_t>(it - list.begin());
}

void TWinControl::SetTabOrder(int32_t Value) {
  FPendingTabOrder = Value;
  UpdateTabOrder(Value);
}

void TWinControl::UpdateTabOrder(int32_t Value) {
  if (FParent == nullptr || Value < 0) return;
  auto& list = FParent->FTabList;
  if (IsLoading()) {
    // A design gives each control its place while later siblings are not there yet, so
    // the list is kept sorted by the places asked for; a control that asked for none
    // keeps the place it had when it joined.
    std::stable_sort(list.begin(), list.end(), [](const TWinControl* a, const TWinControl* b) {
      const int32_t ka = a->FPendingTabOrder >= 0 ? a->FPendingTabOrder : a->FJoinOrder;
      const int32_t kb = b->FPendingTabOrder >= 0 ? b->FPendingTabOrder : b->FJoinOrder;
      return ka < kb;
    });
    return;
  }
  // At run time a new place moves the control there and the others close up.
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  const size_t pos = std::min(static_cast<size_t>(Value), list.size());
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(pos), this);
  for (size_t i = 0; i < list.size(); ++i) list[i]->FPendingTabOrder = static_cast<int32_t>(i);
}

void TWinControl::SetTabStop(bool Value) {
  if (FTabStop == Value) return;
  FTabStop = Value;
  if (FHandle != nullptr) {
    LONG style = GetWindowLongA(FHandle, GWL_STYLE);
    style = Value ? (style | static_cast<LONG>(WS_TABSTOP)) : (style & ~static_cast<LONG>(WS_TABSTOP));
    SetWindowLongA(FHandle, GWL_STYLE, style);
  }
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) const {
  for (TWinControl* w : FTabList) {
    List.push_back(w);
    w->GetTabOrderList(List);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  if (list.empty()) return nullptr;
  const int n = static_cast<int>(list.size());
  auto it = std::find(list.begin(), list.end(), CurControl);
  int start = it == list.end() ? (GoForward ? n - 1 : 0) : static_cast<int>(it - list.begin());
  int i = start;
  for (int step = 0; step < n; ++step) {
    i = GoForward ? (i + 1) % n : (i - 1 + n) % n;
    TWinControl* w = list[static_cast<size_t>(i)];
    if (w == CurControl) continue;
    if (w->CanFocus() && (!CheckTabStop || w->TabStop())) return w;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop) {
  if (TWinControl* next = FindNextControl(CurControl, GoForward, CheckTabStop)) next->SetFocus();
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

bool TWinControl::Focused() const { return FHandle != nullptr && GetFocus() == FHandle; }

void TWinControl::SetFocus() {
  if (!CanFocus()) return;
  if (TCustomForm* f = GetParentForm(this)) {
    if (f != this && !f->HandleAllocated()) {
      f->SetActiveControl(this);
      return;
    }
  }
  ::SetFocus(Handle());
}

void TWinControl::Invalidate() {
  if (FHandle != nullptr) InvalidateRect(FHandle, nullptr, FALSE);
}

void TWinControl::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max(AWidth, 0);
  FHeight = std::max(AHeight, 0);
  if (FHandle != nullptr) MoveWindow(FHandle, FLeft, FTop, FWidth, FHeight, TRUE);
  if (!IsLoading()) AlignControls();
  BoundsChanged();
}

void TWinControl::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  TControl::SetEnabled(Value);
  if (FHandle != nullptr) EnableWindow(FHandle, Value ? TRUE : FALSE);
}

void TWinControl::SetCursor(TCursor Value) {
  TControl::SetCursor(Value);
  // The pointer is over this control now: take the new shape at once.
  if (FHandle != nullptr) {
    POINT p;
    if (GetCursorPos(&p) && WindowFromPoint(p) == FHandle) ::SetCursor(CursorHandle(Value));
  }
}

void TWinControl::VisibleChanged() {
  if (FHandle != nullptr) ShowWindow(FHandle, FVisible ? SW_SHOWNA : SW_HIDE);
  if (!FVisible && Focused()) {
    if (TCustomForm* f = GetParentForm(this)) f->SelectNext(this, true, true);
  }
}

void TWinControl::ParentChanged() {
  if (FParent == nullptr && FHandle != nullptr && (GetWindowLongA(FHandle, GWL_STYLE) & static_cast<LONG>(WS_CHILD))) {
    DestroyHandle();
  }
}

void TWinControl::AlignControls() {
  TRect r = ClientRect();
  for (TControl* c : std::vector<TControl*>(FControls)) {
    if (!c->Visible()) continue;
    switch (c->Align()) {
      case alTop:
        c->SetBounds(r.left, r.top, r.right - r.left, c->Height());
        r.top += c->Height();
        break;
      case alBottom:
        c->SetBounds(r.left, r.bottom - c->Height(), r.right - r.left, c->Height());
        r.bottom -= c->Height();
        break;
      case alLeft:
        c->SetBounds(r.left, r.top, c->Width(), r.bottom - r.top);
        r.left += c->Width();
        break;
      case alRight:
        c->SetBounds(r.right - c->Width(), r.top, c->Width(), r.bottom - r.top);
        r.right -= c->Width();
        break;
      default:
        break;
    }
  }
  for (TControl* c : std::vector<TControl*>(FControls)) {
    if (c->Visible() && c->Align() == alClient) c->SetBounds(r.left, r.top, r.right - r.left, r.bottom - r.top);
  }
}

// -- painting --

void TWinControl::PaintBackground(TCanvas* Canvas) {
  Canvas->Brush()->SetColor(FColor);
  Canvas->FillRect(ClientRect());
}

void TWinControl::PaintControls(TCanvas* Canvas) {
  HDC dc = Canvas->Handle();
  for (TControl* c : FControls) {
    if (c->IsWindowed() || !c->Visible()) continue;
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, c->Left(), c->Top(), c->Left() + c->Width(), c->Top() + c->Height());
    SetViewportOrgEx(dc, c->Left(), c->Top(), nullptr);
    {
      TCanvas sub;
      sub.SetHandle(dc);
      c->PaintControl(&sub);
      sub.SetHandle(nullptr);
    }
    RestoreDC(dc, saved);
  }
}

void TWinControl::PaintWindow(HDC DC) {
  TCanvas canvas;
  canvas.SetHandle(DC);
  try {
    PaintBackground(&canvas);
    Paint(&canvas);
    PaintControls(&canvas);
  } catch (...) {
    canvas.SetHandle(nullptr);
    throw;
  }
  canvas.SetHandle(nullptr);
}

// -- the one switch --

void TWinControl::WndProc(TMessage& Message) {
  const UINT m = Message.Msg;
  // A disabled control drops input at the door.
  if ((IsMouseMessage(m) || IsKeyMessage(m)) && !FEnabled) {
    Message.Result = 0;
    return;
  }
  switch (m) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(FHandle, &ps);
      try {
        if (dc != nullptr) PaintWindow(dc);
      } catch (...) {
        EndPaint(FHandle, &ps);
        throw;
      }
      EndPaint(FHandle, &ps);
      Message.Result = 0;
      return;
    }
    case WM_ERASEBKGND:
      Message.Result = 1;  // the paint fills the background itself, so nothing flickers
      return;
    case WM_SETFOCUS:
      if (TCustomForm* f = GetParentForm(this)) f->FocusControlChanged(this);
      DoEnter();
      FocusChanged(true);
      return;
    case WM_KILLFOCUS:
      DoExit();
      FocusChanged(false);
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      WORD key = static_cast<WORD>(Message.WParam);
      const TShiftState shift = KeyboardShiftState();
      if (DoKeyDown(key, shift)) return;
      if (!WantsKey(key, shift)) DialogKey(key, shift);
      return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      WORD key = static_cast<WORD>(Message.WParam);
      DoKeyUp(key, KeyboardShiftState());
      return;
    }
    case WM_CHAR: {
      char key = static_cast<char>(Message.WParam);
      DoKeyPress(key);
      return;
    }
    case WM_MOUSEWHEEL:
      if (MouseWheel(static_cast<SHORT>(HIWORD(Message.WParam)))) return;
      break;
    case WM_SETCURSOR: {
      if (LOWORD(static_cast<uintptr_t>(Message.LParam)) == HTCLIENT) {
        TCursor cur = FCursor;
        POINT p;
        if (GetCursorPos(&p)) {
          ::ScreenToClient(FHandle, &p);
          if (TControl* c = ControlAtPos(p)) cur = c->Cursor();
        }
        if (Screen != nullptr && Screen->Cursor() != crDefault) cur = Screen->Cursor();
        ::SetCursor(CursorHandle(cur));
        Message.Result = 1;
        return;
      }
      break;
    }
    case WM_WINDOWPOSCHANGED: {
      // Someone else moved or sized the window (the window manager, a mode change): the
      // control's own bounds follow.
      RECT r;
      if (GetWindowRect(FHandle, &r)) {
        POINT tl{r.left, r.top};
        if (FParent != nullptr && FParent->HandleAllocated()) ::ScreenToClient(FParent->Handle(), &tl);
        const bool sized = (r.right - r.left) != FWidth || (r.bottom - r.top) != FHeight;
        FLeft = tl.x;
        FTop = tl.y;
        FWidth = r.right - r.left;
        FHeight = r.bottom - r.top;
        if (sized) {
          AlignControls();
          Resized();
        }
      }
      break;
    }
    default:
      if (IsMouseMessage(m)) {
        HandleMouse(Message);
        return;
      }
      break;
  }
  DefaultHandler(Message);
}

void TWinControl::DefaultHandler(TMessage& Message) {
  if (FHandle == nullptr) {
    Message.Result = 0;
    return;
  }
  Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
}

void TWinControl::HandleMouse(TMessage& Message) {
  const UINT m = Message.Msg;
  const int32_t x = GET_X_LPARAM(Message.LParam);
  const int32_t y = GET_Y_LPARAM(Message.LParam);
  const bool down = m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_LBUTTONDBLCLK;
  const bool up = m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_MBUTTONUP;
  TControl* target = FMouseControl;
  if (target == nullptr) target = ControlAtPos(Point(x, y));
  if (target != nullptr && target->Enabled()) {
    if (down) {
      FMouseControl = target;
      SetCapture(FHandle);
    }
    target->MouseInput(m, Message.WParam, x - target->Left(), y - target->Top());
    if (up) {
      FMouseControl = nullptr;
      ReleaseCapture();
    }
    return;
  }
  if (down) SetCapture(FHandle);
  MouseInput(m, Message.WParam, x, y);
  if (up && GetCapture() == FHandle) ReleaseCapture();
}

bool TWinControl::DoKeyDown(WORD& Key, TShiftState Shift) {
  TCustomForm* f = GetParentForm(this);
  if (f != nullptr && f != this && f->KeyPreview()) {
    f->KeyDown(Key, Shift);
    if (Key == 0) return true;
  }
  KeyDown(Key, Shift);
  return Key == 0;
}

bool TWinControl::DoKeyUp(WORD& Key, TShiftState Shift) {
  TCustomForm* f = GetParentForm(this);
  if (f != nullptr && f != this && f->KeyPreview()) {
    f->KeyUp(Key, Shift);
    if (Key == 0) return true;
  }
  KeyUp(Key, Shift);
  return Key == 0;
}

bool TWinControl::DoKeyPress(char& Key) {
  TCustomForm* f = GetParentForm(this);
  if (f != nullptr && f != this && f->KeyPreview()) {
    f->KeyPress(Key);
    if (Key == 0) return true;
  }
  KeyPress(Key);
  return Key == 0;
}

bool TWinControl::DialogKey(WORD Key, TShiftState Shift) {
  return FParent != nullptr ? FParent->DialogKey(Key, Shift) : false;
}

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
  if (FOnKeyDown) FOnKeyDown(this, Key, Shift);
}
void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
  if (FOnKeyUp) FOnKeyUp(this, Key, Shift);
}
void TWinControl::KeyPress(char& Key) {
  if (FOnKeyPress) FOnKeyPress(this, Key);
}
void TWinControl::DoEnter() {
  if (FOnEnter) FOnEnter(this);
}
void TWinControl::DoExit() {
  if (FOnExit) FOnExit(this);
}

// ---- TCustomControl ----

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), FCanvas(std::make_unique<TCanvas>()) {}
TCustomControl::~TCustomControl() = default;

void TCustomControl::PaintWindow(HDC DC) {
  FCanvas->SetHandle(DC);
  try {
    FCanvas->Font()->Assign(FFont.get());
    PaintBackground(FCanvas.get());
    Paint(FCanvas.get());
    PaintControls(FCanvas.get());
  } catch (...) {
    FCanvas->SetHandle(nullptr);
    throw;
  }
  FCanvas->SetHandle(nullptr);
}

// ---- published properties ----

namespace {
const std::vector<TEnumName>& CursorNames() {
  static const std::vector<TEnumName> names = {
      {"crDefault", crDefault},   {"crNone", crNone},         {"crArrow", crArrow},     {"crCross", crCross},
      {"crIBeam", crIBeam},       {"crSizeNESW", crSizeNESW}, {"crSizeNS", crSizeNS},   {"crSizeNWSE", crSizeNWSE},
      {"crSizeWE", crSizeWE},     {"crUpArrow", crUpArrow},   {"crHourGlass", crHourGlass}, {"crNo", crNo},
      {"crAppStart", crAppStart}, {"crHelp", crHelp},         {"crHandPoint", crHandPoint}, {"crSizeAll", crSizeAll},
  };
  return names;
}
}  // namespace

void RegisterControlsClasses() {
  RegisterPersistentClass<TControl, TComponent>()
      .Int("Left", &TControl::SetLeft)
      .Int("Top", &TControl::SetTop)
      .Int("Width", &TControl::SetWidth, 0)
      .Int("Height", &TControl::SetHeight, 0)
      .Bool("Visible", &TControl::SetVisible)
      .Bool("Enabled", &TControl::SetEnabled)
      .Color("Color", &TControl::SetColor)
      .Object("Font", &TControl::Font)
      .Bool("ParentFont", &TControl::SetParentFont)
      .Bool("ParentColor", &TControl::SetParentColor)
      .Enum("Cursor", &TControl::SetCursor, CursorNames())
      .Enum("Align", &TControl::SetAlign,
            {{"alNone", alNone}, {"alTop", alTop}, {"alBottom", alBottom}, {"alLeft", alLeft}, {"alRight", alRight},
             {"alClient", alClient}})
      .Int("Tag", &TControl::SetTag)
      .Str("Hint", &TControl::SetHint)
      .Bool("ShowHint", &TControl::SetShowHint)
      .Event("OnClick", &TControl::SetOnClick)
      .Event("OnDblClick", &TControl::SetOnDblClick)
      .Event("OnMouseDown", &TControl::SetOnMouseDown)
      .Event("OnMouseUp", &TControl::SetOnMouseUp)
      .Event("OnMouseMove", &TControl::SetOnMouseMove);
  RegisterPersistentClass<TWinControl, TControl>()
      .Int("TabOrder", &TWinControl::SetTabOrder, 0)
      .Bool("TabStop", &TWinControl::SetTabStop)
      .Event("OnKeyDown", &TWinControl::SetOnKeyDown)
      .Event("OnKeyUp", &TWinControl::SetOnKeyUp)
      .Event("OnKeyPress", &TWinControl::SetOnKeyPress)
      .Event("OnEnter", &TWinControl::SetOnEnter)
      .Event("OnExit", &TWinControl::SetOnExit);
  RegisterPersistentClass<TCustomControl, TWinControl>();
  RegisterPersistentClass<TGraphicControl, TControl>();
}
