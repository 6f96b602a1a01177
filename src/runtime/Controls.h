#pragma once
// Controls: TControl (a rectangle on its parent with a font, a colour, a cursor and mouse
// events) and TWinControl (a control with its own window, children, keyboard focus and
// tab order). Every window message of a control goes through one switch in WndProc that
// forwards to small virtual handlers; a disabled control drops input right there.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/window/Window.h"
#include "runtime/Components.h"
#include "runtime/Graphics.h"

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage& Message)>;

// Shift state: a set of these flags.
using TShiftState = uint32_t;
inline constexpr TShiftState ssShift = 1u << 0;
inline constexpr TShiftState ssAlt = 1u << 1;
inline constexpr TShiftState ssCtrl = 1u << 2;
inline constexpr TShiftState ssLeft = 1u << 3;
inline constexpr TShiftState ssRight = 1u << 4;
inline constexpr TShiftState ssMiddle = 1u << 5;
inline constexpr TShiftState ssDouble = 1u << 6;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Cursors: 0 is the class default, negative numbers the stock shapes; crNone hides it.
using TCursor = int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

// The runtime's own messages (0xB000 and up, as the activation notices are).
inline constexpr UINT CM_BASE = 0xB000;
inline constexpr UINT CM_ACTIVATE = CM_BASE + 0;
inline constexpr UINT CM_DEACTIVATE = CM_BASE + 1;
inline constexpr UINT CM_RELEASE = CM_BASE + 33;

using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int32_t X, int32_t Y)>;

class TWinControl;
class TCustomForm;

// What CreateWnd hands the platform; CreateParams may change any of it.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int32_t X = 0;
  int32_t Y = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  HWND WndParent = nullptr;
  std::string WinClassName;
};

TShiftState KeysToShiftState(WPARAM Keys);
TShiftState KeyboardShiftState();

class TControl : public TComponent {
 public:
  PELLORA_CLASS_NAME(TControl)
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* Value);
  void SetParentComponent(TComponent* Value) override;

  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetLeft(int32_t Value) { SetBounds(Value, FTop, FWidth, FHeight); }
  void SetTop(int32_t Value) { SetBounds(FLeft, Value, FWidth, FHeight); }
  void SetWidth(int32_t Value) { SetBounds(FLeft, FTop, Value, FHeight); }
  void SetHeight(int32_t Value) { SetBounds(FLeft, FTop, FWidth, Value); }
  virtual void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight);
  TRect BoundsRect() const { return Bounds(FLeft, FTop, FWidth, FHeight); }
  virtual TRect ClientRect() const { return Rect(0, 0, FWidth, FHeight); }
  int32_t ClientWidth() const { return ClientRect().right; }
  int32_t ClientHeight() const { return ClientRect().bottom; }
  TPoint ClientToScreen(TPoint P) const;
  TPoint ScreenToClient(TPoint P) const;
  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign Value);

  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value);
  // Visible and enabled up to the top of the parent chain.
  bool IsShowing() const;

  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& Value) { SetText(Value); }
  const std::string& Text() const { return FText; }
  virtual void SetText(const std::string& Value);
  TColor Color() const { return FColor; }
  void SetColor(TColor Value);
  TFont* Font() const { return FFont.get(); }
  void SetFont(const TFont* Value) { FFont->Assign(Value); }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool Value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool Value);
  TCursor Cursor() const { return FCursor; }
  virtual void SetCursor(TCursor Value);
  int32_t Tag() const { return FTag; }
  void SetTag(int32_t Value) { FTag = Value; }
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& Value) { FHint = Value; }
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool Value) { FShowHint = Value; }

  const TNotifyEvent& OnClick() const { return FOnClick; }
  void SetOnClick(TNotifyEvent Value) { FOnClick = std::move(Value); }
  const TNotifyEvent& OnDblClick() const { return FOnDblClick; }
  void SetOnDblClick(TNotifyEvent Value) { FOnDblClick = std::move(Value); }
  const TMouseEvent& OnMouseDown() const { return FOnMouseDown; }
  void SetOnMouseDown(TMouseEvent Value) { FOnMouseDown = std::move(Value); }
  const TMouseEvent& OnMouseUp() const { return FOnMouseUp; }
  void SetOnMouseUp(TMouseEvent Value) { FOnMouseUp = std::move(Value); }
  const TMouseMoveEvent& OnMouseMove() const { return FOnMouseMove; }
  void SetOnMouseMove(TMouseMoveEvent Value) { FOnMouseMove = std::move(Value); }

  // The message path: WindowProc (replaceable, for subclassing) calls WndProc.
  const TWndMethod& WindowProc() const { return FWindowProc; }
  void SetWindowProc(TWndMethod Value);
  void Perform(TMessage& Message) { FWindowProc(Message); }
  LRESULT Perform(UINT Msg, WPARAM WParam, LPARAM LParam);
  virtual void WndProc(TMessage& Message);
  virtual void DefaultHandler(TMessage& Message);

  // Redraws the control (its part of the parent, for a control without a window).
  virtual void Invalidate();
  void Repaint();
  virtual void Click();
  // Draws a control without a window on its parent's canvas, origin at its corner.
  virtual void PaintControl(TCanvas* Canvas) { (void)Canvas; }
  // True for a control that has its own window.
  virtual bool IsWindowed() const { return false; }
  // The form that holds this control, or nullptr.
  TCustomForm* ParentForm() const;

  void Loaded() override;

  // Mouse input for a control without a window arrives here from its parent.
  void MouseInput(UINT Msg, WPARAM Keys, int32_t X, int32_t Y);

 protected:
  virtual void DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y);
  virtual void DoMouseMove(TShiftState Shift, int32_t X, int32_t Y);
  virtual void DblClick();
  virtual void FontChanged();
  virtual void TextChanged() { Invalidate(); }
  virtual void ColorChanged() { Invalidate(); }
  virtual void VisibleChanged();
  virtual void EnabledChanged() { Invalidate(); }
  virtual void BoundsChanged() {}
  virtual void ParentChanged() {}
  virtual void AdjustSize() {}
  // The parent's font or colour changed and this control follows it.
  void ParentFontChanged();
  void ParentColorChanged();

  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  TWinControl* FParent = nullptr;
  std::string FText;
  TColor FColor = clBtnFace;
  std::unique_ptr<TFont> FFont;
  bool FVisible = true;
  bool FEnabled = true;
  bool FParentFont = true;
  bool FParentColor = false;
  TCursor FCursor = crDefault;
  TAlign FAlign = alNone;
  int32_t FTag = 0;
  std::string FHint;
  bool FShowHint = false;
  bool FMouseDown = false;  // a click started on this control
  bool FClickOnRelease = true;  // a press and release on the control is a click
  bool FUpdatingFont = false;

  TNotifyEvent FOnClick;
  TNotifyEvent FOnDblClick;
  TMouseEvent FOnMouseDown;
  TMouseEvent FOnMouseUp;
  TMouseMoveEvent FOnMouseMove;
  TWndMethod FWindowProc;

 private:
  friend class TWinControl;
};

class TWinControl : public TControl {
 public:
  PELLORA_CLASS_NAME(TWinControl)
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window, made on first request (with the parent's first).
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }
  void HandleNeeded() { Handle(); }
  void RecreateWnd();
  void DestroyHandle();

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;
  void InsertControl(TControl* AControl);
  void RemoveControl(TControl* AControl);
  bool ContainsControl(const TControl* AControl) const;
  // The control without a window at a client point (topmost first), or nullptr.
  TControl* ControlAtPos(TPoint P) const;

  int32_t TabOrder() const;
  void SetTabOrder(int32_t Value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool Value);
  // Windowed descendants in tab order.
  void GetTabOrderList(std::vector<TWinControl*>& List) const;
  // The next control after CurControl that can take the focus, forward or backward.
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop) const;
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
  // Places the aligned children (alTop, alClient, ...) in the client area.
  void AlignControls();

  bool CanFocus() const;
  bool Focused() const;
  virtual void SetFocus();

  bool IsWindowed() const override { return true; }
  void Invalidate() override;
  void SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) override;
  void SetEnabled(bool Value) override;
  void SetCursor(TCursor Value) override;

  const TKeyEvent& OnKeyDown() const { return FOnKeyDown; }
  void SetOnKeyDown(TKeyEvent Value) { FOnKeyDown = std::move(Value); }
  const TKeyEvent& OnKeyUp() const { return FOnKeyUp; }
  void SetOnKeyUp(TKeyEvent Value) { FOnKeyUp = std::move(Value); }
  const TKeyPressEvent& OnKeyPress() const { return FOnKeyPress; }
  void SetOnKeyPress(TKeyPressEvent Value) { FOnKeyPress = std::move(Value); }
  const TNotifyEvent& OnEnter() const { return FOnEnter; }
  void SetOnEnter(TNotifyEvent Value) { FOnEnter = std::move(Value); }
  const TNotifyEvent& OnExit() const { return FOnExit; }
  void SetOnExit(TNotifyEvent Value) { FOnExit = std::move(Value); }

  void WndProc(TMessage& Message) override;
  void DefaultHandler(TMessage& Message) override;

  // Keyboard handling shared by the message loop and the control: the form previews the
  // key when KeyPreview is on, then the control's own event; answers true when the key
  // was consumed (set to 0).
  bool DoKeyDown(WORD& Key, TShiftState Shift);
  bool DoKeyUp(WORD& Key, TShiftState Shift);
  bool DoKeyPress(char& Key);
  // A key the focused control did not want for itself (Tab, Enter, Escape, arrows) is
  // offered up the parent chain; answers true when someone used it.
  virtual bool DialogKey(WORD Key, TShiftState Shift);
  // Whether this control wants keys that would otherwise move the focus or press buttons.
  virtual bool WantsKey(WORD Key, TShiftState Shift) const {
    (void)Key, (void)Shift;
    return false;
  }

  // The window procedure every control window of the runtime shares.
  static LRESULT StdWndProc(HWND Wnd, UINT Msg, WPARAM WParam, LPARAM LParam);
  static TWinControl* FromHandle(HWND Wnd);

 protected:
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  virtual void DestroyWnd();
  virtual void CreateHandle();
  // Painting: background, then the controls without windows, then Paint of subclasses.
  virtual void PaintWindow(HDC DC);
  virtual void PaintBackground(TCanvas* Canvas);
  virtual void Paint(TCanvas* Canvas) { (void)Canvas; }
  void PaintControls(TCanvas* Canvas);

  // Small virtual handlers the switch forwards to.
  virtual void KeyDown(WORD& Key, TShiftState Shift);
  virtual void KeyUp(WORD& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void DoEnter();
  virtual void DoExit();
  virtual void FocusChanged(bool Gained) {
    (void)Gained;
    Invalidate();
  }
  // Delta: WM_MOUSEWHEEL's count (120 a notch, away from the person positive). A control
  // that does not scroll answers false and its parent gets the wheel.
  virtual bool MouseWheel(int32_t Delta) {
    (void)Delta;
    return false;
  }
  void VisibleChanged() override;
  void ParentChanged() override;
  virtual void Resized() {}

  HWND FHandle = nullptr;
  std::vector<TControl*> FControls;      // every child, in z order (last on top)
  std::vector<TWinControl*> FTabList;    // windowed children, in tab order
  bool FTabStop = false;
  int32_t FPendingTabOrder = -1;  // the place asked for, -1 for none
  int32_t FJoinOrder = 0;          // the place it had when it joined its parent
  TControl* FMouseControl = nullptr;     // the control without a window that got the button down
  TKeyEvent FOnKeyDown;
  TKeyEvent FOnKeyUp;
  TKeyPressEvent FOnKeyPress;
  TNotifyEvent FOnEnter;
  TNotifyEvent FOnExit;

 private:
  void HandleMouse(TMessage& Message);
  void UpdateTabOrder(int32_t Value);
};

// A control with a window and a canvas on it, for controls that draw themselves.
class TCustomControl : public TWinControl {
 public:
  PELLORA_CLASS_NAME(TCustomControl)
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  // Valid while painting.
  TCanvas* Canvas() const { return FCanvas.get(); }

 protected:
  void PaintWindow(HDC DC) override;

  std::unique_ptr<TCanvas> FCanvas;
};

// A control without a window, drawn on its parent.
class TGraphicControl : public TControl {
 public:
  PELLORA_CLASS_NAME(TGraphicControl)
  explicit TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
};

// Drawing helpers for the classic flat 3-D look.
void Frame3D(TCanvas* Canvas, TRect& Rect, TColor TopColor, TColor BottomColor, int32_t Width);
void DrawSunkenEdge(TCanvas* Canvas, TRect& Rect);  // edit boxes and lists
void DrawRaisedEdge(TCanvas* Canvas, TRect& Rect, bool Pressed);  // buttons

// The mouse pointer shape for a cursor value.
HCURSOR CursorHandle(TCursor Cursor);

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterControlsClasses();
