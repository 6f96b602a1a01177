#include "runtime/StdCtrls.h"

#include <algorithm>

#include "runtime/Clipbrd.h"
#include "runtime/DesignsRegistry.h"
#include "runtime/Forms.h"

int32_t MeasureText(const TFont* Font, const std::string& Text, int32_t* Height, TTextWidth Width) {
  // Measured as drawn: windows are painted on 32-bit back buffers, where text is smooth.
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateBitmap(1, 1, 1, 32, nullptr);
  HGDIOBJ old = SelectObject(dc, bitmap);
  int32_t w = 0;
  {
    TCanvas c;
    c.SetHandle(dc);
    c.Font()->Assign(Font);
    const SIZE s = c.TextExtent(Text.empty() ? std::string("W") : Text);
    w = Text.empty() ? 0 : s.cx;
    if (Height != nullptr) *Height = s.cy;
    if (Width == TTextWidth::Ink && !Text.empty()) {
      const auto last = static_cast<unsigned char>(Text.back());
      ABC abc{};
      if (GetCharABCWidthsA(dc, last, last, &abc) && abc.abcC < 0) w -= abc.abcC;
    }
    c.SetHandle(nullptr);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  return w;
}

namespace {
void TextColorFor(TCanvas* Canvas, const TControl* Control, TColor Normal) {
  Canvas->Font()->SetColor(Control->Enabled() ? Normal : clGrayText);
}
}  // namespace

// ---- TLabel ----

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  FWidth = 65;
  FHeight = 17;
  FParentColor = true;
}

void TLabel::SetAutoSize(bool Value) {
  if (FAutoSize == Value) return;
  FAutoSize = Value;
  AdjustSize();
}

void TLabel::SetTransparent(bool Value) {
  if (FTransparent == Value) return;
  FTransparent = Value;
  Invalidate();
}

void TLabel::SetAlignment(TAlignment Value) {
  if (FAlignment == Value) return;
  FAlignment = Value;
  Invalidate();
}

void TLabel::SetWordWrap(bool Value) {
  if (FWordWrap == Value) return;
  FWordWrap = Value;
  AdjustSize();
  Invalidate();
}

void TLabel::TextChanged() {
  AdjustSize();
  Invalidate();
}

std::vector<std::string> TLabel::Lines(TCanvas* Canvas) const {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < FText.size(); ++i) {
    const char c = FText[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < FText.size() && FText[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  lines.push_back(cur);
  if (!FWordWrap || Canvas == nullptr) return lines;
  std::vector<std::string> wrapped;
  for (const std::string& line : lines) {
    std::string out;
    size_t start = 0;
    while (start <= line.size()) {
      size_t end = line.find(' ', start);
      if (end == std::string::npos) end = line.size();
      const std::string word = line.substr(start, end - start);
      const std::string trial = out.empty() ? word : out + " " + word;
      if (!out.empty() && Canvas->TextWidth(trial) > FWidth) {
        wrapped.push_back(out);
        out = word;
      } else {
        out = trial;
      }
      start = end + 1;
    }
    wrapped.push_back(out);
  }
  return wrapped;
}

void TLabel::AdjustSize() {
  if (!FAutoSize || IsLoading() || FWordWrap) return;
  int32_t h = 0;
  int32_t w = 0;
  int32_t lineH = 0;
  std::vector<std::string> lines = Lines(nullptr);
  for (const std::string& l : lines) w = std::max(w, MeasureText(FFont.get(), l, &lineH, TTextWidth::Ink));
  h = lineH * static_cast<int32_t>(lines.size());
  SetBounds(FLeft, FTop, w, h);
}

void TLabel::PaintControl(TCanvas* Canvas) {
  const TRect r = Rect(0, 0, FWidth, FHeight);
  if (!FTransparent) {
    Canvas->Brush()->SetColor(FColor);
    Canvas->FillRect(r);
  }
  Canvas->Font()->Assign(FFont.get());
  TextColorFor(Canvas, this, FFont->Color());
  Canvas->Brush()->SetStyle(bsClear);
  int32_t y = 0;
  for (const std::string& line : Lines(Canvas)) {
    const SIZE s = Canvas->TextExtent(line.empty() ? std::string(" ") : line);
    int32_t x = 0;
    if (FAlignment == taCenter) x = (FWidth - s.cx) / 2;
    if (FAlignment == taRightJustify) x = FWidth - s.cx;
    if (!line.empty()) Canvas->TextOut(x, y, line);
    y += s.cy;
  }
}

// ---- TCustomEdit ----

namespace {
constexpr int32_t kEditInset = 3;  // the sunken edge and a pixel of air before the text
}

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 121;
  FHeight = 21;
  FColor = clWindow;
  FTabStop = true;
  FCursor = crIBeam;
}

void TCustomEdit::SetText(const std::string& Value) {
  std::string v = Value;
  if (FMaxLength > 0 && static_cast<int32_t>(v.size()) > FMaxLength) v.resize(static_cast<size_t>(FMaxLength));
  if (v == FText) return;
  FText = v;
  FCaret = FAnchor = std::min<int32_t>(FCaret, static_cast<int32_t>(FText.size()));
  FScroll = 0;
  Invalidate();
  Change();
}

void TCustomEdit::SetPasswordChar(char Value) {
  if (FPasswordChar == Value) return;
  FPasswordChar = Value;
  Invalidate();
}

void TCustomEdit::SetPasswordCharText(const std::string& Value) {
  if (Value.size() > 1) throw EConvertError("PasswordChar takes one character");
  SetPasswordChar(Value.empty() ? '\0' : Value[0]);
}

void TCustomEdit::SetMaxLength(int32_t Value) {
  FMaxLength = std::max(0, Value);
  if (FMaxLength > 0 && static_cast<int32_t>(FText.size()) > FMaxLength) SetText(FText);
}

void TCustomEdit::SetSelStart(int32_t Value) {
  const int32_t n = static_cast<int32_t>(FText.size());
  FCaret = FAnchor = std::clamp(Value, 0, n);
  ScrollToCaret();
  Invalidate();
}

void TCustomEdit::SetSelLength(int32_t Value) {
  const int32_t n = static_cast<int32_t>(FText.size());
  FAnchor = SelStart();
  FCaret = std::clamp(FAnchor + Value, 0, n);
  Invalidate();
}

std::string TCustomEdit::SelText() const {
  return FText.substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelLength()));
}

void TCustomEdit::SetSelText(const std::string& Value) { Replace(SelStart(), SelStart() + SelLength(), Value); }

void TCustomEdit::SelectAll() {
  FAnchor = 0;
  FCaret = static_cast<int32_t>(FText.size());
  Invalidate();
}

void TCustomEdit::CopyToClipboard() {
  // A password is never handed to the clipboard, as people expect of a masked field.
  if (FPasswordChar != 0 || SelLength() == 0) return;
  Clipboard()->SetAsText(SelText());
}

void TCustomEdit::CutToClipboard() {
  if (FPasswordChar != 0 || FReadOnly) return;
  CopyToClipboard();
  ClearSelection();
}

void TCustomEdit::PasteFromClipboard() {
  if (FReadOnly) return;
  std::string text = Clipboard()->AsText();
  // One line only: the text stops at the first line break.
  const size_t br = text.find_first_of("\r\n");
  if (br != std::string::npos) text.resize(br);
  SetSelText(text);
}

void TCustomEdit::Replace(int32_t From, int32_t To, const std::string& With) {
  std::string next = FText.substr(0, static_cast<size_t>(From)) + With + FText.substr(static_cast<size_t>(To));
  std::string insert = With;
  if (FMaxLength > 0 && static_cast<int32_t>(next.size()) > FMaxLength) {
    const int32_t room = FMaxLength - (static_cast<int32_t>(FText.size()) - (To - From));
    if (room <= 0 && !With.empty() && From == To) return;
    insert = With.substr(0, static_cast<size_t>(std::max(0, room)));
    next = FText.substr(0, static_cast<size_t>(From)) + insert + FText.substr(static_cast<size_t>(To));
  }
  const bool changed = next != FText;
  FText = next;
  FCaret = FAnchor = From + static_cast<int32_t>(insert.size());
  ScrollToCaret();
  Invalidate();
  if (changed) Change();
}

void TCustomEdit::MoveCaret(int32_t Pos, bool Extend) {
  FCaret = std::clamp(Pos, 0, static_cast<int32_t>(FText.size()));
  if (!Extend) FAnchor = FCaret;
  ScrollToCaret();
  Invalidate();
}

std::string TCustomEdit::DisplayText() const {
  return FPasswordChar != 0 ? std::string(FText.size(), FPasswordChar) : FText;
}

int32_t TCustomEdit::TextX(int32_t Index) const {
  return MeasureText(FFont.get(), DisplayText().substr(0, static_cast<size_t>(Index)));
}

int32_t TCustomEdit::PosFromX(int32_t X) const {
  const int32_t want = X - kEditInset + FScroll;
  const std::string shown = DisplayText();
  int32_t prev = 0;
  for (int32_t i = 1; i <= static_cast<int32_t>(shown.size()); ++i) {
    const int32_t x = MeasureText(FFont.get(), shown.substr(0, static_cast<size_t>(i)));
    if (want < (prev + x) / 2) return i - 1;
    prev = x;
  }
  return static_cast<int32_t>(shown.size());
}

void TCustomEdit::ScrollToCaret() {
  const int32_t inner = std::max(1, FWidth - 2 * kEditInset);
  const int32_t x = TextX(FCaret);
  if (x - FScroll > inner - 1) FScroll = x - inner + 1;
  if (x < FScroll) FScroll = x;
  if (FScroll < 0) FScroll = 0;
}

void TCustomEdit::Change() {
  if (FOnChange) FOnChange(this);
}

bool TCustomEdit::WantsKey(WORD Key, TShiftState Shift) const {
  (void)Shift;
  switch (Key) {
    case VK_LEFT:
    case VK_RIGHT:
    case VK_HOME:
    case VK_END:
    case VK_DELETE:
    case VK_BACK:
      return true;
    default:
      return false;
  }
}

void TCustomEdit::KeyDown(WORD& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  const bool extend = (Shift & ssShift) != 0;
  const bool ctrl = (Shift & ssCtrl) != 0;
  switch (Key) {
    case VK_LEFT:
      if (!extend && SelLength() > 0) {
        MoveCaret(SelStart(), false);
      } else {
        MoveCaret(FCaret - 1, extend);
      }
      break;
    case VK_RIGHT:
      if (!extend && SelLength() > 0) {
        MoveCaret(SelStart() + SelLength(), false);
      } else {
        MoveCaret(FCaret + 1, extend);
      }
      break;
    case VK_HOME: MoveCaret(0, extend); break;
    case VK_END: MoveCaret(static_cast<int32_t>(FText.size()), extend); break;
    case VK_DELETE:
      if (FReadOnly) break;
      if (extend) {
        CutToClipboard();
      } else if (SelLength() > 0) {
        ClearSelection();
      } else if (FCaret < static_cast<int32_t>(FText.size())) {
        Replace(FCaret, FCaret + 1, "");
      }
      break;
    case VK_INSERT:
      if (ctrl) CopyToClipboard();
      if (extend) PasteFromClipboard();
      break;
    case 'A':
      if (ctrl) SelectAll();
      break;
    case 'C':
      if (ctrl) CopyToClipboard();
      break;
    case 'X':
      if (ctrl) CutToClipboard();
      break;
    case 'V':
      if (ctrl) PasteFromClipboard();
      break;
    default:
      break;
  }
}

void TCustomEdit::KeyPress(char& Key) {
  TWinControl::KeyPress(Key);  // the handler may drop the character by making it 0
  if (Key == 0 || FReadOnly) return;
  const auto code = static_cast<unsigned char>(Key);
  if (code == 8) {
    if (SelLength() > 0) {
      ClearSelection();
    } else if (FCaret > 0) {
      Replace(FCaret - 1, FCaret, "");
    }
    return;
  }
  if (code < 32 || code == 127) return;  // Enter, Tab, Escape and control characters
  SetSelText(std::string(1, Key));
}

void TCustomEdit::DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) {
    if (!Focused()) SetFocus();
    MoveCaret(PosFromX(X), (Shift & ssShift) != 0);
    FMouseSelecting = true;
    if (Shift & ssDouble) SelectAll();
  }
  TWinControl::DoMouseDown(Button, Shift, X, Y);
}

void TCustomEdit::DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FMouseSelecting && (Shift & ssLeft)) {
    MoveCaret(PosFromX(X), true);
  } else {
    FMouseSelecting = false;
  }
  TWinControl::DoMouseMove(Shift, X, Y);
}

void TCustomEdit::FocusChanged(bool Gained) {
  if (Gained && FAutoSelect && !(GetKeyState(VK_LBUTTON) < 0)) SelectAll();
  if (!Gained) FMouseSelecting = false;
  Invalidate();
}

void TCustomEdit::PaintBackground(TCanvas* Canvas) {
  TRect r = ClientRect();
  DrawSunkenEdge(Canvas, r);
  Canvas->Brush()->SetColor(FEnabled ? FColor : clBtnFace);
  Canvas->FillRect(r);
}

void TCustomEdit::Paint(TCanvas* Canvas) {
  const int32_t inner = FWidth - 2 * kEditInset;
  if (inner <= 0) return;
  HDC dc = Canvas->Handle();
  const int saved = SaveDC(dc);
  IntersectClipRect(dc, 2, 2, FWidth - 2, FHeight - 2);
  Canvas->Font()->Assign(FFont.get());
  const std::string shown = DisplayText();
  int32_t th = 0;
  MeasureText(FFont.get(), "", &th);
  const int32_t y = std::max(2, (FHeight - th) / 2);
  const int32_t x0 = kEditInset - FScroll;
  const bool focused = Focused();
  Canvas->Brush()->SetStyle(bsClear);
  TextColorFor(Canvas, this, FFont->Color());
  Canvas->TextOut(x0, y, shown);
  if (focused && SelLength() > 0) {
    const int32_t a = x0 + TextX(SelStart());
    const int32_t b = x0 + TextX(SelStart() + SelLength());
    Canvas->Brush()->SetColor(clHighlight);
    Canvas->FillRect(Rect(a, y, b, y + th));
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->Font()->SetColor(clHighlightText);
    Canvas->TextOut(a, y, shown.substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelLength())));
  }
  if (focused) {
    const int32_t cx = x0 + TextX(FCaret);
    Canvas->Pen()->SetColor(FFont->Color());
    Canvas->MoveTo(cx, y);
    Canvas->LineTo(cx, y + th);
  }
  RestoreDC(dc, saved);
}

// ---- TButton ----

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
  FWidth = 75;
  FHeight = 25;
  FTabStop = true;
  FColor = clBtnFace;
}

void TButton::SetDefault(bool Value) {
  if (FDefault == Value) return;
  FDefault = Value;
  Invalidate();
}

void TButton::Click() {
  if (TCustomForm* f = GetParentForm(this)) f->SetModalResult(FModalResult);
  TButtonControl::Click();
}

void TButton::SetPressed(bool Value) {
  if (FPressed == Value) return;
  FPressed = Value;
  Invalidate();
}

void TButton::KeyDown(WORD& Key, TShiftState Shift) {
  TButtonControl::KeyDown(Key, Shift);
  if (Key == VK_SPACE) {
    FSpaceDown = true;
    SetPressed(true);
  }
}

void TButton::KeyUp(WORD& Key, TShiftState Shift) {
  TButtonControl::KeyUp(Key, Shift);
  if (Key == VK_SPACE && FSpaceDown) {
    FSpaceDown = false;
    SetPressed(false);
    Click();
  }
}

void TButton::DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) {
    if (!Focused()) SetFocus();
    SetPressed(true);
  }
  TButtonControl::DoMouseDown(Button, Shift, X, Y);
}

void TButton::DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FMouseDown) SetPressed(X >= 0 && Y >= 0 && X < FWidth && Y < FHeight);
  TButtonControl::DoMouseMove(Shift, X, Y);
}

void TButton::DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) SetPressed(false);
  TButtonControl::DoMouseUp(Button, Shift, X, Y);
}

void TButton::FocusChanged(bool Gained) {
  if (!Gained) {
    FSpaceDown = false;
    FPressed = false;
  }
  // The default frame moves to whichever button has the focus, so the whole form's
  // buttons are drawn again.
  if (TCustomForm* f = GetParentForm(this)) {
    std::vector<TWinControl*> list;
    f->GetTabOrderList(list);
    for (TWinControl* w : list) {
      if (dynamic_cast<TButton*>(w) != nullptr) w->Invalidate();
    }
  }
  Invalidate();
}

void TButton::Paint(TCanvas* Canvas) {
  TRect r = ClientRect();
  const bool focused = Focused();
  bool active = focused;
  if (!active && FDefault) {
    TCustomForm* f = GetParentForm(this);
    active = f == nullptr || dynamic_cast<TButton*>(f->ActiveControl()) == nullptr ||
             !static_cast<TWinControl*>(f->ActiveControl())->Focused();
  }
  if (active) {
    Canvas->Brush()->SetColor(clBlack);
    Canvas->FrameRect(r);
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
  }
  if (FPressed) {
    Canvas->Brush()->SetColor(clBtnShadow);
    Canvas->FrameRect(r);
    r.left += 1;
    r.top += 1;
    r.right -= 1;
    r.bottom -= 1;
  } else {
    DrawRaisedEdge(Canvas, r, false);
  }
  Canvas->Brush()->SetColor(FColor);
  Canvas->FillRect(r);
  Canvas->Font()->Assign(FFont.get());
  TextColorFor(Canvas, this, FFont->Color());
  Canvas->Brush()->SetStyle(bsClear);
  const SIZE s = Canvas->TextExtent(FText.empty() ? std::string(" ") : FText);
  const int32_t shift = FPressed ? 1 : 0;
  const int32_t tx = (FWidth - s.cx) / 2 + shift;
  const int32_t ty = (FHeight - s.cy) / 2 + shift;
  if (!FText.empty()) Canvas->TextOut(tx, ty, FText);
  if (focused) {
    Canvas->Brush()->SetColor(FColor);
    Canvas->DrawFocusRect(Rect(4, 4, FWidth - 4, FHeight - 4));
  }
}

// ---- TListBox ----

namespace {
constexpr int32_t kListInset = 2;          // the sunken edge
constexpr int32_t kScrollBarWidth = 16;    // and the height of its arrow buttons
constexpr int32_t kMinThumb = 8;
constexpr int32_t kWheelLines = 3;         // lines a notch of the wheel scrolls
constexpr UINT_PTR kRepeatTimer = 1;
constexpr UINT kRepeatDelay = 350;         // ms before a held arrow starts repeating
constexpr UINT kRepeatInterval = 50;

bool Inside(const TRect& R, TPoint P) { return P.x >= R.left && P.x < R.right && P.y >= R.top && P.y < R.bottom; }
}  // namespace

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner) {
  FWidth = 121;
  FHeight = 97;
  FColor = clWindow;
  FTabStop = true;
  FClickOnRelease = false;  // a list's click is a change of selection
}

TListBox::~TListBox() {
  if (HandleAllocated()) KillTimer(FHandle, kRepeatTimer);
}

void TListBox::SetItems(std::vector<std::string> Value) {
  FItems = std::move(Value);
  FItemIndex = -1;
  FTopIndex = 0;
  StopScrolling();
  Invalidate();
}

void TListBox::AddItem(const std::string& Item) {
  FItems.push_back(Item);
  Invalidate();
}

void TListBox::Clear() { SetItems({}); }

const std::string& TListBox::Item(int32_t Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<size_t>(Index)];
}

int32_t TListBox::ItemHeight() const {
  int32_t h = 0;
  MeasureText(FFont.get(), "", &h);
  return std::max(1, h + 1);
}

int32_t TListBox::VisibleCount() const { return std::max(1, (FHeight - 2 * kListInset) / ItemHeight()); }

int32_t TListBox::WholeRowsHeight(int32_t MaxHeight) const {
  const int32_t ih = ItemHeight();
  return 2 * kListInset + std::max(1, (MaxHeight - 2 * kListInset) / ih) * ih;
}

void TListBox::SetItemIndex(int32_t Value) {
  if (Value < -1 || Value >= Count()) Value = -1;
  if (FItemIndex == Value) return;
  FItemIndex = Value;
  if (Value >= 0) {
    if (Value < FTopIndex) FTopIndex = Value;
    if (Value >= FTopIndex + VisibleCount()) FTopIndex = Value - VisibleCount() + 1;
  }
  Invalidate();
}

void TListBox::SetTopIndex(int32_t Value) {
  Value = std::clamp(Value, 0, MaxTopIndex());
  if (FTopIndex == Value) return;
  FTopIndex = Value;
  Invalidate();
}

int32_t TListBox::ItemAtPos(TPoint P) const {
  const int32_t right = ScrollBarShown() ? ScrollBarRect().left : FWidth;
  if (P.x < 0 || P.x >= right || P.y < kListInset) return -1;
  const int32_t i = FTopIndex + (P.y - kListInset) / ItemHeight();
  return i < Count() ? i : -1;
}

// ---- the scroll bar ----

TRect TListBox::ScrollBarRect() const {
  return Rect(FWidth - kListInset - kScrollBarWidth, kListInset, FWidth - kListInset, FHeight - kListInset);
}

TRect TListBox::ScrollPartRect(TScrollPart Part) const {
  if (!ScrollBarShown() || Part == TScrollPart::None) return Rect(0, 0, 0, 0);
  const TRect bar = ScrollBarRect();
  // A list too short for two whole arrows shares its height between them.
  const int32_t arrow = std::min(kScrollBarWidth, (bar.bottom - bar.top) / 2);
  const TRect track = Rect(bar.left, bar.top + arrow, bar.right, bar.bottom - arrow);
  const int32_t length = track.bottom - track.top;
  const int32_t thumb = std::max(kMinThumb, length * VisibleCount() / Count());
  const bool hasThumb = thumb <= length;
  const int32_t thumbTop =
      hasThumb ? track.top + static_cast<int32_t>(static_cast<int64_t>(length - thumb) * FTopIndex / MaxTopIndex())
               : track.top;
  switch (Part) {
    case TScrollPart::LineUp: return Rect(bar.left, bar.top, bar.right, track.top);
    case TScrollPart::LineDown: return Rect(bar.left, track.bottom, bar.right, bar.bottom);
    case TScrollPart::Thumb: return hasThumb ? Rect(bar.left, thumbTop, bar.right, thumbTop + thumb) : Rect(0, 0, 0, 0);
    case TScrollPart::PageUp: return Rect(bar.left, track.top, bar.right, hasThumb ? thumbTop : track.top);
    case TScrollPart::PageDown:
      return hasThumb ? Rect(bar.left, thumbTop + thumb, bar.right, track.bottom) : Rect(0, 0, 0, 0);
    case TScrollPart::None: break;
  }
  return Rect(0, 0, 0, 0);
}

TListBox::TScrollPart TListBox::ScrollPartAt(TPoint P) const {
  for (TScrollPart part : {TScrollPart::LineUp, TScrollPart::PageUp, TScrollPart::Thumb, TScrollPart::PageDown,
                           TScrollPart::LineDown}) {
    if (Inside(ScrollPartRect(part), P)) return part;
  }
  return TScrollPart::None;
}

void TListBox::ScrollStep(TScrollPart Part) {
  // A held part goes on only while the pointer is on it: paging stops once the thumb has
  // reached the pointer, and an arrow waits while the pointer is off it.
  if (ScrollPartAt(FScrollPointer) != Part) return;
  switch (Part) {
    case TScrollPart::LineUp: SetTopIndex(FTopIndex - 1); break;
    case TScrollPart::LineDown: SetTopIndex(FTopIndex + 1); break;
    case TScrollPart::PageUp: SetTopIndex(FTopIndex - VisibleCount()); break;
    case TScrollPart::PageDown: SetTopIndex(FTopIndex + VisibleCount()); break;
    default: break;
  }
}

void TListBox::StopScrolling() {
  if (FScrollHeld == TScrollPart::None) return;
  FScrollHeld = TScrollPart::None;
  if (HandleAllocated()) KillTimer(FHandle, kRepeatTimer);
  Invalidate();
}

void TListBox::WndProc(TMessage& Message) {
  if (Message.Msg == WM_TIMER && Message.WParam == kRepeatTimer) {
    if (FScrollHeld == TScrollPart::None || FScrollHeld == TScrollPart::Thumb) {
      KillTimer(FHandle, kRepeatTimer);
    } else {
      ScrollStep(FScrollHeld);
      SetTimer(FHandle, kRepeatTimer, kRepeatInterval, nullptr);
    }
    return;
  }
  if (Message.Msg == WM_CAPTURECHANGED) StopScrolling();
  TWinControl::WndProc(Message);
}

// ---- input ----

void TListBox::UserSelect(int32_t Index) {
  if (Count() == 0) return;
  Index = std::clamp(Index, 0, Count() - 1);
  if (Index == FItemIndex) return;
  SetItemIndex(Index);
  Click();
}

bool TListBox::WantsKey(WORD Key, TShiftState Shift) const {
  (void)Shift;
  return Key == VK_UP || Key == VK_DOWN || Key == VK_HOME || Key == VK_END || Key == VK_PRIOR || Key == VK_NEXT;
}

void TListBox::KeyDown(WORD& Key, TShiftState Shift) {
  TWinControl::KeyDown(Key, Shift);
  switch (Key) {
    case VK_UP: UserSelect(FItemIndex < 0 ? 0 : FItemIndex - 1); break;
    case VK_DOWN: UserSelect(FItemIndex + 1); break;
    case VK_HOME: UserSelect(0); break;
    case VK_END: UserSelect(Count() - 1); break;
    case VK_PRIOR: UserSelect(FItemIndex - VisibleCount()); break;
    case VK_NEXT: UserSelect(FItemIndex + VisibleCount()); break;
    default: break;
  }
}

void TListBox::DoMouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  const TScrollPart part = ScrollPartAt(Point(X, Y));
  if (Button == mbLeft && part != TScrollPart::None) {
    // The scroll bar scrolls and leaves the focus and the selection where they are.
    FScrollHeld = part;
    FScrollPointer = Point(X, Y);
    if (part == TScrollPart::Thumb) {
      FThumbGrab = Y - ScrollPartRect(TScrollPart::Thumb).top;
    } else {
      ScrollStep(part);
      SetTimer(FHandle, kRepeatTimer, kRepeatDelay, nullptr);
    }
    Invalidate();
  } else if (Button == mbLeft && !Inside(ScrollBarRect(), Point(X, Y))) {
    if (!Focused()) SetFocus();
    const int32_t i = ItemAtPos(Point(X, Y));
    if (i >= 0) UserSelect(i);
  }
  TWinControl::DoMouseDown(Button, Shift, X, Y);
}

void TListBox::DoMouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  if (FScrollHeld != TScrollPart::None) {
    FScrollPointer = Point(X, Y);
    if (FScrollHeld == TScrollPart::Thumb) {
      // The thumb follows the pointer; the top row is the one its place stands for.
      const TRect up = ScrollPartRect(TScrollPart::LineUp);
      const TRect down = ScrollPartRect(TScrollPart::LineDown);
      const TRect thumb = ScrollPartRect(TScrollPart::Thumb);
      const int32_t room = (down.top - up.bottom) - (thumb.bottom - thumb.top);
      if (room > 0) {
        const int64_t offset = std::clamp<int64_t>(Y - FThumbGrab - up.bottom, 0, room);
        SetTopIndex(static_cast<int32_t>((offset * MaxTopIndex() + room / 2) / room));
      }
    }
  }
  TWinControl::DoMouseMove(Shift, X, Y);
}

void TListBox::DoMouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button == mbLeft) StopScrolling();
  TWinControl::DoMouseUp(Button, Shift, X, Y);
}

void TListBox::DblClick() {
  // Two quick presses on the scroll bar are two scrolls, not a choice of the item.
  if (FScrollHeld != TScrollPart::None) return;
  POINT p;
  if (GetCursorPos(&p) && ::ScreenToClient(FHandle, &p) && ScrollBarShown() && Inside(ScrollBarRect(), p)) return;
  TWinControl::DblClick();
}

bool TListBox::MouseWheel(int32_t Delta) {
  // Fractions of a notch (a touchpad's) add up until they make a line.
  FWheelRest += Delta * kWheelLines;
  const int32_t lines = FWheelRest / WHEEL_DELTA;
  FWheelRest -= lines * WHEEL_DELTA;
  SetTopIndex(FTopIndex - lines);
  return true;
}

// ---- painting ----

void TListBox::PaintBackground(TCanvas* Canvas) {
  TRect r = ClientRect();
  DrawSunkenEdge(Canvas, r);
  Canvas->Brush()->SetColor(FColor);
  Canvas->FillRect(r);
}

void TListBox::Paint(TCanvas* Canvas) {
  HDC dc = Canvas->Handle();
  const int saved = SaveDC(dc);
  const int32_t right = ScrollBarShown() ? ScrollBarRect().left : FWidth - kListInset;
  IntersectClipRect(dc, kListInset, kListInset, right, FHeight - kListInset);
  Canvas->Font()->Assign(FFont.get());
  const int32_t ih = ItemHeight();
  const bool focused = Focused();
  for (int32_t i = FTopIndex; i < Count(); ++i) {
    const int32_t y = kListInset + (i - FTopIndex) * ih;
    if (y >= FHeight - kListInset) break;
    const TRect row = Rect(kListInset, y, right, y + ih);
    if (i == FItemIndex) {
      Canvas->Brush()->SetColor(clHighlight);
      Canvas->FillRect(row);
      Canvas->Font()->SetColor(clHighlightText);
    } else {
      TextColorFor(Canvas, this, FFont->Color());
    }
    Canvas->Brush()->SetStyle(bsClear);
    Canvas->TextOut(4, y, FItems[static_cast<size_t>(i)]);
    if (i == FItemIndex && focused) {
      Canvas->Brush()->SetColor(clHighlight);
      Canvas->DrawFocusRect(row);
    }
  }
  RestoreDC(dc, saved);
  if (ScrollBarShown()) PaintScrollBar(Canvas);
}

namespace {
// A raised button of the scroll bar, sunk while held, with an arrow on it when Direction
// is -1 (up) or 1 (down).
void PaintScrollButton(TCanvas* Canvas, TRect R, bool Held, int32_t Direction, bool Enabled) {
  if (R.bottom <= R.top) return;
  if (Held) {
    Canvas->Brush()->SetColor(clBtnShadow);
    Canvas->FrameRect(R);
    R.left += 1, R.top += 1, R.right -= 1, R.bottom -= 1;
  } else {
    DrawRaisedEdge(Canvas, R, false);
  }
  Canvas->Brush()->SetColor(clBtnFace);
  Canvas->FillRect(R);
  if (Direction == 0) return;
  // A solid triangle four rows high, pointing the way the list moves.
  const int32_t shift = Held ? 1 : 0;
  const int32_t cx = (R.left + R.right) / 2 + shift;
  const int32_t cy = (R.top + R.bottom) / 2 + shift;
  Canvas->Brush()->SetColor(Enabled ? clBtnText : clGrayText);
  for (int32_t row = 0; row < 4; ++row) {
    const int32_t half = Direction < 0 ? row : 3 - row;
    const int32_t y = cy - 2 + row;
    Canvas->FillRect(Rect(cx - half, y, cx + half + 1, y + 1));
  }
}
}  // namespace

void TListBox::PaintScrollBar(TCanvas* Canvas) {
  const TRect bar = ScrollBarRect();
  Canvas->Brush()->SetStyle(bsSolid);
  Canvas->Brush()->SetColor(cl3DLight);
  Canvas->FillRect(bar);
  for (TScrollPart page : {TScrollPart::PageUp, TScrollPart::PageDown}) {
    if (FScrollHeld == page && ScrollPartAt(FScrollPointer) == page) {
      Canvas->Brush()->SetColor(clBtnShadow);
      Canvas->FillRect(ScrollPartRect(page));
    }
  }
  PaintScrollButton(Canvas, ScrollPartRect(TScrollPart::LineUp), FScrollHeld == TScrollPart::LineUp, -1,
                    FEnabled && FTopIndex > 0);
  PaintScrollButton(Canvas, ScrollPartRect(TScrollPart::LineDown), FScrollHeld == TScrollPart::LineDown, 1,
                    FEnabled && FTopIndex < MaxTopIndex());
  PaintScrollButton(Canvas, ScrollPartRect(TScrollPart::Thumb), false, 0, FEnabled);
}

// ---- published properties ----

void RegisterStdCtrlsClasses() {
  const std::vector<TEnumName> alignment = {
      {"taLeftJustify", taLeftJustify}, {"taRightJustify", taRightJustify}, {"taCenter", taCenter}};
  RegisterComponentClass<TLabel, TGraphicControl>()
      .Str("Caption", &TLabel::SetCaption)
      .Bool("AutoSize", &TLabel::SetAutoSize)
      .Bool("Transparent", &TLabel::SetTransparent)
      .Enum("Alignment", &TLabel::SetAlignment, alignment)
      .Bool("WordWrap", &TLabel::SetWordWrap);
  RegisterPersistentClass<TCustomEdit, TWinControl>()
      .Str("Text", &TCustomEdit::SetText)
      .Str("PasswordChar", &TCustomEdit::SetPasswordCharText)
      .Int("MaxLength", &TCustomEdit::SetMaxLength, 0)
      .Bool("ReadOnly", &TCustomEdit::SetReadOnly)
      .Bool("AutoSelect", &TCustomEdit::SetAutoSelect)
      .Event("OnChange", &TCustomEdit::SetOnChange);
  RegisterComponentClass<TEdit, TCustomEdit>();
  RegisterPersistentClass<TButtonControl, TWinControl>();
  RegisterComponentClass<TButton, TButtonControl>()
      .Str("Caption", &TButton::SetCaption)
      .Bool("Default", &TButton::SetDefault)
      .Bool("Cancel", &TButton::SetCancel)
      .Int("ModalResult", &TButton::SetModalResult);
  RegisterComponentClass<TListBox, TWinControl>();
}
