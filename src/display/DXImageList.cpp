#include "display/DXImageList.h"

#include <algorithm>
#include <array>

#include "display/DXConsts.h"
#include "platform/gdi/Gdi.h"
#include "runtime/DesignsRegistry.h"

namespace {

// Video-memory surfaces are cut into blocks of about this many pixels on a side.
constexpr int32_t BlockTarget = 512;

int64_t CeilDiv(int64_t A, int64_t B) { return (A + B - 1) / B; }

}  // namespace

// ---------------------------------------------------------------------------------------
// TPictureCollectionItem

TPictureCollectionItem::TPictureCollectionItem(TCollection* Collection)
    : THashCollectionItem(Collection),
      FPicture(std::make_unique<TPicture>()),
      FPatterns(TCollection::ItemClass<TPictureCollectionItemPattern>()) {}

TPictureCollectionItem::~TPictureCollectionItem() { ReleaseItem(); }

TPictureCollection* TPictureCollectionItem::PictureCollection() const {
  return static_cast<TPictureCollection*>(Collection());
}

int32_t TPictureCollectionItem::EffectiveWidth() const {
  return FPatternWidth > 0 ? FPatternWidth : FPicture->Width();
}

int32_t TPictureCollectionItem::EffectiveHeight() const {
  return FPatternHeight > 0 ? FPatternHeight : FPicture->Height();
}

TPictureCollectionItemPattern* TPictureCollectionItem::Patterns(int32_t Index) const {
  return static_cast<TPictureCollectionItemPattern*>(FPatterns.Items(Index));
}

TDirectDrawSurface* TPictureCollectionItem::ItemSurfaces(int32_t Index) const {
  if (Index < 0 || Index >= SurfaceCount()) ListIndexError(Index);
  return FSurfaces[static_cast<size_t>(Index)].get();
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* Dest, int32_t X, int32_t Y, int32_t PatternIndex) {
  if (!FReady || Dest == nullptr || PatternIndex < 0 || PatternIndex >= PatternCount()) return;
  const TPictureCollectionItemPattern* p = Patterns(PatternIndex);
  Dest->Draw(X, Y, p->PatternRect, p->PatternSurface, FTransparent);
}

void TPictureCollectionItem::PrepareItem() {
  ReleaseItem();
  const TPictureCollection* c = PictureCollection();
  FReady = c != nullptr && c->IsReady();
}

void TPictureCollectionItem::ReleaseItem() {
  if (!FReady) return;
  FReady = false;
  FreeSurfaces();
}

void TPictureCollectionItem::FreeSurfaces() {
  // Patterns point into the surfaces, so they go first.
  FPatterns.Clear();
  for (auto& s : FSurfaces) s.reset();
  FSurfaces.clear();
}

void TPictureCollectionItem::SetTransparentColor(TColor Value) {
  if (Value == FTransparentColor) return;
  for (auto& s : FSurfaces) {
    try {
      s->SetColorKey(s->MatchColor(Value));
    } catch (const std::exception&) {
      // A surface that cannot be keyed keeps its old key; the others still get the new one.
    }
  }
  FTransparentColor = Value;
}

TDirectDrawSurface* TPictureCollectionItem::MakeSurface(const TRect& Rect) {
  FSurfaces.push_back(std::make_unique<TDirectDrawSurface>(PictureCollection()->DXDraw()->DirectDraw()));
  TDirectDrawSurface* s = FSurfaces.back().get();
  s->SetSystemMemory(FSystemMemory);
  s->LoadPicture(FPicture->Graphic(), 0, Rect, 0);
  // Keyed whatever Transparent says, so switching Transparent needs no rebuild.
  s->SetColorKey(s->MatchColor(FTransparentColor));
  return s;
}

void TPictureCollectionItem::AddPattern(const TRect& Rect, TDirectDrawSurface* Surface) {
  auto* p = static_cast<TPictureCollectionItemPattern*>(FPatterns.Add());
  p->PatternRect = Rect;
  p->PatternSurface = Surface;
}

void TPictureCollectionItem::RebuildSurfaces() {
  if (!FReady) {
    if (PictureCollection() != nullptr && PictureCollection()->IsReady()) PrepareItem();
    if (!FReady) return;
  }
  // An empty graphic has nothing to cut; it would only give a surface of no size.
  if (FPicture->Graphic() == nullptr || FPicture->Graphic()->IsEmpty()) return;
  FreeSurfaces();

  const int32_t PW = FPicture->Width();
  const int32_t PH = FPicture->Height();
  const int32_t EW = EffectiveWidth();
  const int32_t EH = EffectiveHeight();

  if (EW == PW && EH == PH) {
    const TRect whole = Bounds(0, 0, PW, PH);
    AddPattern(whole, MakeSurface(whole));
    return;
  }

  // Cell arithmetic is done in 64 bits: a stored pattern size and skip may each be near
  // the 32-bit limit. Every pattern still starts inside the picture.
  const int64_t CW = int64_t{EW} + FSkipWidth;
  const int64_t CH = int64_t{EH} + FSkipHeight;
  // Skips negative enough to leave no cell at all give no patterns rather than a
  // division by zero or cells that walk backwards.
  const int32_t Columns = CW > 0 ? static_cast<int32_t>(std::max<int64_t>(0, (int64_t{PW} + FSkipWidth) / CW)) : 0;
  const int32_t Rows = CH > 0 ? static_cast<int32_t>(std::max<int64_t>(0, (int64_t{PH} + FSkipHeight) / CH)) : 0;

  if (FSystemMemory) {
    TDirectDrawSurface* s = MakeSurface(Bounds(0, 0, PW, PH));
    for (int32_t r = 0; r < Rows; ++r) {
      for (int32_t c = 0; c < Columns; ++c) {
        AddPattern(Bounds(static_cast<LONG>(c * CW), static_cast<LONG>(r * CH), EW, EH), s);
      }
    }
    return;
  }
  // In video memory a picture with no whole cell makes no surface: there is nothing to
  // draw from it, and one surface of the whole picture could be far beyond a block.
  if (Columns == 0 || Rows == 0) return;
  CutIntoBlocks(PW, PH, CW, CH, Columns, Rows);
}

void TPictureCollectionItem::CutIntoBlocks(int32_t PW, int32_t PH, int64_t CW, int64_t CH, int32_t Columns,
                                           int32_t Rows) {
  const int64_t BlockW = std::min(CW * CeilDiv(BlockTarget, CW), CW * Columns);
  const int64_t BlockH = std::min(CH * CeilDiv(BlockTarget, CH), CH * Rows);
  const int64_t BlocksX = CeilDiv(PW, BlockW);
  const int64_t BlocksY = CeilDiv(PH, BlockH);
  for (int64_t by = 0; by < BlocksY; ++by) {
    for (int64_t bx = 0; bx < BlocksX; ++bx) {
      MakeSurface(Bounds(static_cast<LONG>(bx * BlockW), static_cast<LONG>(by * BlockH),
                         static_cast<LONG>(std::min(BlockW, PW - bx * BlockW)),
                         static_cast<LONG>(std::min(BlockH, PH - by * BlockH))));
    }
  }
  const int32_t EW = EffectiveWidth();
  const int32_t EH = EffectiveHeight();
  for (int32_t r = 0; r < Rows; ++r) {
    for (int32_t c = 0; c < Columns; ++c) {
      const int64_t px = c * CW;
      const int64_t py = r * CH;
      AddPattern(Bounds(static_cast<LONG>(px % BlockW), static_cast<LONG>(py % BlockH), EW, EH),
                 FSurfaces[static_cast<size_t>(px / BlockW + BlocksX * (py / BlockH))].get());
    }
  }
}

// ---------------------------------------------------------------------------------------
// TPictureCollection

TPictureCollection::TPictureCollection(TCustomDXImageList* AOwner)
    : THashCollection(TCollection::ItemClass<TPictureCollectionItem>()), FOwner(AOwner) {}

TPictureCollection::~TPictureCollection() {
  DetachDisplay();
  Clear();
}

TPersistent* TPictureCollection::Owner() const { return FOwner; }

TPictureCollectionItem* TPictureCollection::Items(int32_t Index) const {
  return static_cast<TPictureCollectionItem*>(TCollection::Items(Index));
}

bool TPictureCollection::IsReady() const { return FDXDraw != nullptr && FDXDraw->Initialized(); }

void TPictureCollection::AttachDisplay(TCustomDXDraw* ADXDraw) {
  DetachDisplay();
  FDXDraw = ADXDraw;
  if (!IsReady()) throw EPictureCollectionError(DXConsts::SCannotInitialized, {ClassName()});
  for (int32_t i = 0; i < Count(); ++i) Items(i)->PrepareItem();
}

void TPictureCollection::DetachDisplay() {
  try {
    for (int32_t i = 0; i < Count(); ++i) Items(i)->ReleaseItem();
  } catch (...) {
    FDXDraw = nullptr;
    throw;
  }
  FDXDraw = nullptr;
}

void TPictureCollection::RebuildSurfaces() {
  for (int32_t i = 0; i < Count(); ++i) Items(i)->RebuildSurfaces();
}

void TPictureCollection::BuildColorTable() {
  std::array<bool, 256> used{};
  int32_t count = 0;
  FColorTable.fill(RGBQUAD{0, 0, 0, 0});

  auto put = [&](int index, BYTE red, BYTE green, BYTE blue) {
    FColorTable[static_cast<size_t>(index)] = RGBQUAD{blue, green, red, 0};
    used[static_cast<size_t>(index)] = true;
    ++count;
  };
  auto addColor = [&](const RGBQUAD& c) {
    size_t free = used.size();
    for (size_t i = 0; i < used.size(); ++i) {
      if (used[i]) {
        const RGBQUAD& e = FColorTable[i];
        if (e.rgbBlue == c.rgbBlue && e.rgbGreen == c.rgbGreen && e.rgbRed == c.rgbRed &&
            e.rgbReserved == c.rgbReserved) {
          return;
        }
      } else if (free == used.size()) {
        free = i;
      }
    }
    if (free == used.size()) return;  // full: the colour is dropped
    FColorTable[free] = c;
    used[free] = true;
    ++count;
  };

  put(0, 0, 0, 0);
  put(1, 128, 0, 0);
  put(2, 0, 128, 0);
  put(3, 128, 128, 0);
  put(4, 0, 0, 128);
  put(5, 128, 0, 128);
  put(6, 0, 128, 128);
  put(7, 192, 192, 192);
  put(248, 128, 128, 128);
  put(249, 255, 0, 0);
  put(250, 0, 255, 0);
  put(251, 255, 255, 0);
  put(252, 0, 0, 255);
  put(253, 255, 0, 255);
  put(254, 0, 255, 255);
  put(255, 255, 255, 255);

  for (int32_t i = 0; i < Count() && count < 256; ++i) {
    TGraphic* g = Items(i)->Picture()->Graphic();
    if (g == nullptr || g->IsEmpty()) continue;
    if (auto* dib = dynamic_cast<TDIB*>(g)) {
      if (dib->BitCount() > 8) continue;
      std::array<bool, 256> occurs{};
      for (int32_t y = 0; y < dib->Height(); ++y) {
        for (int32_t x = 0; x < dib->Width(); ++x) occurs[dib->ReadPixel(x, y) & 0xFF] = true;
      }
      for (size_t v = 0; v < occurs.size(); ++v) {
        if (occurs[v]) addColor(dib->ColorTable()[v]);
      }
    } else if (HPALETTE pal = g->Palette()) {
      std::array<PALETTEENTRY, 256> entries{};
      const UINT n = GetPaletteEntries(pal, 0, static_cast<UINT>(entries.size()), entries.data());
      for (UINT k = 0; k < n && k < entries.size(); ++k) {
        addColor(RGBQUAD{entries[k].peBlue, entries[k].peGreen, entries[k].peRed, 0});
      }
    }
  }
}

void TPictureCollection::DefineProperties(TFiler& Filer) {
  static_assert(sizeof(TRGBQuads) == 1024);
  Filer.DefineBinaryProperty(
      "ColorTable", [this](TStream& Stream) { Stream.ReadBuffer(FColorTable.data(), sizeof(FColorTable)); },
      [this](TStream& Stream) { Stream.WriteBuffer(FColorTable.data(), sizeof(FColorTable)); }, true);
}

// ---------------------------------------------------------------------------------------
// TCustomDXImageList

TCustomDXImageList::TCustomDXImageList(TComponent* AOwner)
    : TComponent(AOwner), FItems(std::make_unique<TPictureCollection>(this)) {}

TCustomDXImageList::~TCustomDXImageList() {
  SetDXDraw(nullptr);
  FItems.reset();
}

void TCustomDXImageList::SetDXDraw(TCustomDXDraw* Value) {
  if (FDXDraw != nullptr) {
    FDXDraw->RemoveListener(&TCustomDXImageList::DXDrawNotifyEvent, this);
    FDXDraw->RemoveFreeNotification(this);
  }
  FDXDraw = Value;
  if (FDXDraw != nullptr) {
    FDXDraw->FreeNotification(this);
    FDXDraw->AddListener(&TCustomDXImageList::DXDrawNotifyEvent, this);
  }
}

void TCustomDXImageList::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && FDXDraw != nullptr && AComponent == FDXDraw) SetDXDraw(nullptr);
}

void TCustomDXImageList::DXDrawNotifyEvent(void* Data, TCustomDXDraw* Sender, DisplayNotice Notice) {
  static_cast<TCustomDXImageList*>(Data)->HandleDisplayNotify(Sender, Notice);
}

void TCustomDXImageList::HandleDisplayNotify(TCustomDXDraw* Sender, DisplayNotice Notice) {
  switch (Notice) {
    case DisplayNotice::Destroying:
      SetDXDraw(nullptr);
      break;
    case DisplayNotice::Started:
      FItems->AttachDisplay(Sender);
      break;
    case DisplayNotice::Stopping:
      FItems->DetachDisplay();
      break;
    case DisplayNotice::Restored:
      FItems->RebuildSurfaces();
      break;
    case DisplayNotice::Starting:
    case DisplayNotice::SurfaceStarted:
    case DisplayNotice::SurfaceStopping:
    case DisplayNotice::SurfaceSized:
      break;
  }
}

// ---------------------------------------------------------------------------------------
// Stored designs

void RegisterDXImageListClasses() {
  RegisterPersistentClass<TPictureCollectionItem, THashCollectionItem>()
      .Int("PatternHeight", &TPictureCollectionItem::SetPatternHeight)
      .Int("PatternWidth", &TPictureCollectionItem::SetPatternWidth)
      .Object("Picture", &TPictureCollectionItem::Picture)
      .Int("SkipHeight", &TPictureCollectionItem::SetSkipHeight)
      .Int("SkipWidth", &TPictureCollectionItem::SetSkipWidth)
      .Bool("SystemMemory", &TPictureCollectionItem::SetSystemMemory)
      .Bool("Transparent", &TPictureCollectionItem::SetTransparent)
      .Color("TransparentColor", &TPictureCollectionItem::SetTransparentColor);
  RegisterPersistentClass<TPictureCollection, THashCollection>();
  RegisterClassInfo("TCustomDXImageList", "TComponent");
  RegisterComponentClass<TDXImageList, TCustomDXImageList>()
      .Ref("DXDraw", &TCustomDXImageList::SetDXDraw)
      .Collection("Items", &TCustomDXImageList::Items);
}
