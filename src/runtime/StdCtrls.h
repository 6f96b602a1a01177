#pragma once
// The standard controls: labels, single-line edit boxes, push buttons and list boxes,
// each drawing itself in the classic flat 3-D look.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/Controls.h"

enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TLabel : public TGraphicControl {
 public:
  PELLORA_CLASS_NAME(TLabel)
  explicit TLabel(TComponent* AOwner);

  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool Value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment Value);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool Value);
  void PaintControl(TCanvas* Canvas) override;

 protected:
  void TextChanged() override;
  void AdjustSize() override;

 private:
  std::vector<std::string> Lines(TCanvas* Canvas) const;
  bool FAutoSize = true;
  bool FTransparent = false;
  TAlignment FAlignment = taLeftJustify;
  bool FWordWrap = false;
};

// What a text's width is taken to be: where the next text would start, or all the room
// its ink takes (a slanted or heavy last letter reaches past its advance).
enum class TTextWidth { Advance, Ink };
// The width of Text in Font as a window draws it; Height receives the line height.
int32_t MeasureText(const TFont* Font, const std::string& Text, int32_t* Height = nullptr,
                    TTextWidth Width = TTextWidth::Advance);

class TCustomEdit : public TWinControl {
 public:
  PELLORA_CLASS_NAME(TCustomEdit)
  explicit TCustomEdit(TComponent* AOwner);

  void SetText(const std::string& Value) override;
  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char Value);
  // As designs write it: a one-character string ('*'), or empty for none.
  void SetPasswordCharText(const std::string& Value);
  int32_t MaxLength() const { return FMaxLength; }
  void SetMaxLength(int32_t Value);
  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool AutoSelect() const { return FAutoSelect; }
  void SetAutoSelect(bool Value) { FAutoSelect = Value; }
  int32_t SelStart() const { return std::min(FCaret, FAnchor); }
  int32_t SelLength() const { return std::abs(FCaret - FAnchor); }
  void SetSelStart(int32_t Value);
  void SetSelLength(int32_t Value);
  std::string SelText() const;
  void SetSelText(const std::string& Value);
  void SelectAll();
  void ClearSelection() { SetSelText(""); }
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  int32_t CaretPos() const { return FCaret; }

  const TNotifyEvent& OnChange() const { return FOnChange; }
  void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }

  bool WantsKey(WORD Key, TShiftState Shift) const override;
  // What the box shows: the text, or one password character per byte.
  std::string DisplayText() const;

 protected:
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void FocusChanged(bool Gained) override;
  void Paint(TCanvas* Canvas) override;
  void PaintBackground(TCanvas* Canvas) override;
  void TextChanged() override {}
  virtual void Change();

 private:
  void Replace(int32_t From, int32_t To, const std::string& With);
  void MoveCaret(int32_t Pos, bool Extend);
  int32_t PosFromX(int32_t X) const;
  int32_t TextX(int32_t Index) const;
  void ScrollToCaret();

  char FPasswordChar = 0;
  int32_t FMaxLength = 0;
  bool FReadOnly = false;
  bool FAutoSelect = true;
  int32_t FCaret = 0;
  int32_t FAnchor = 0;
  int32_t FScroll = 0;  // pixels of text scrolled out on the left
  bool FMouseSelecting = false;
  TNotifyEvent FOnChange;
};

class TEdit : public TCustomEdit {
 public:
  PELLORA_CLASS_NAME(TEdit)
  explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

class TButtonControl : public TWinControl {
 public:
  PELLORA_CLASS_NAME(TButtonControl)
  explicit TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {}
};

class TButton : public TButtonControl {
 public:
  PELLORA_CLASS_NAME(TButton)
  explicit TButton(TComponent* AOwner);

  bool Default() const { return FDefault; }
  void SetDefault(bool Value);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool Value) { FCancel = Value; }
  int32_t ModalResult() const { return FModalResult; }
  void SetModalResult(int32_t Value) { FModalResult = Value; }
  bool Pressed() const { return FPressed; }
  // Hands the button's modal result to its form, then raises OnClick.
  void Click() override;

 protected:
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void KeyUp(WORD& Key, TShiftState Shift) override;
  void DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void FocusChanged(bool Gained) override;
  void Paint(TCanvas* Canvas) override;

 private:
  void SetPressed(bool Value);
  bool FDefault = false;
  bool FCancel = false;
  int32_t FModalResult = 0;
  bool FPressed = false;
  bool FSpaceDown = false;
};

// A list of text items with a vertical scroll bar that shows when they do not all fit.
class TListBox : public TWinControl {
 public:
  PELLORA_CLASS_NAME(TListBox)
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  const std::vector<std::string>& Items() const { return FItems; }
  void SetItems(std::vector<std::string> Value);
  void AddItem(const std::string& Item);
  void Clear();
  // Raises EListError outside 0 .. Count - 1.
  const std::string& Item(int32_t Index) const;
  int32_t ItemIndex() const { return FItemIndex; }
  void SetItemIndex(int32_t Value);
  int32_t TopIndex() const { return FTopIndex; }
  void SetTopIndex(int32_t Value);
  int32_t ItemHeight() const;
  int32_t ItemAtPos(TPoint P) const;
  // The rows shown whole.
  int32_t VisibleCount() const;
  // The greatest height up to MaxHeight that shows whole rows only (one row at least).
  int32_t WholeRowsHeight(int32_t MaxHeight) const;

  // The parts of the scroll bar, top to bottom.
  enum class TScrollPart { None, LineUp, PageUp, Thumb, PageDown, LineDown };
  bool ScrollBarShown() const { return Count() > VisibleCount(); }
  // Where a part is in client coordinates (empty when the bar or the part is not shown).
  TRect ScrollPartRect(TScrollPart Part) const;
  TScrollPart ScrollPartAt(TPoint P) const;

  bool WantsKey(WORD Key, TShiftState Shift) const override;

 protected:
  void WndProc(TMessage& Message) override;
  void KeyDown(WORD& Key, TShiftState Shift) override;
  void DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) override;
  void DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void DblClick() override;
  bool MouseWheel(int32_t Delta) override;
  void PaintBackground(TCanvas* Canvas) override;
  void Paint(TCanvas* Canvas) override;

 private:
  // A change the person made: selects, scrolls it into view and raises OnClick.
  void UserSelect(int32_t Index);
  int32_t MaxTopIndex() const { return std::max(0, Count() - VisibleCount()); }
  TRect ScrollBarRect() const;
  void PaintScrollBar(TCanvas* Canvas);
  // One step of the part held down.
  void ScrollStep(TScrollPart Part);
  void StopScrolling();

  std::vector<std::string> FItems;
  int32_t FItemIndex = -1;
  int32_t FTopIndex = 0;
  TScrollPart FScrollHeld = TScrollPart::None;  // the part the left button went down on
  TPoint FScrollPointer{};                       // where the pointer is while it is held
  int32_t FThumbGrab = 0;                        // the pointer's offset into the thumb while dragging
  int32_t FWheelRest = 0;                        // a wheel turn too small to scroll a line yet
};

// Makes this unit's classes known to the design reader; the program's list of units calls
// it once at start.
void RegisterStdCtrlsClasses();
