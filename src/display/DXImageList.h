#pragma once
// The sprite image list: pictures cut into patterns and turned into surfaces of a display.
// The list listens to its display; surfaces are made only when the display says its
// surfaces were restored, and freed when it stops, so drawing never allocates.
#include <cstdint>
#include <memory>
#include <vector>

#include "display/DXDraws.h"
#include "display/DirectX.h"
#include "image/DIB.h"
#include "runtime/Components.h"
#include "runtime/Graphics.h"

PELLORA_EXCEPTION(EPictureCollectionError, Exception);

class TCustomDXImageList;
class TPictureCollection;

// Where one pattern lies: a rectangle on one of its item's surfaces.
class TPictureCollectionItemPattern : public TCollectionItem {
 public:
  PELLORA_CLASS_NAME(TPictureCollectionItemPattern)
  using TCollectionItem::TCollectionItem;
  TRect PatternRect{};
  TDirectDrawSurface* PatternSurface = nullptr;
};

class TPictureCollectionItem : public THashCollectionItem {
 public:
  PELLORA_CLASS_NAME(TPictureCollectionItem)
  explicit TPictureCollectionItem(TCollection* Collection);
  ~TPictureCollectionItem() override;

  // Copies pattern k onto Dest with its top-left corner at (X, Y); does nothing when the
  // item is not ready or k is not a pattern.
  void Draw(TDirectDrawSurface* Dest, int32_t X, int32_t Y, int32_t PatternIndex);
  void PrepareItem();
  void ReleaseItem();
  void FreeSurfaces();
  // Cuts the picture into patterns and surfaces afresh. Errors from making a surface
  // leave here; what was made before the error is kept.
  void RebuildSurfaces();

  TPictureCollection* PictureCollection() const;
  TPicture* Picture() const { return FPicture.get(); }
  void SetPicture(const TPicture* Value) { FPicture->Assign(Value); }
  bool Ready() const { return FReady; }
  int32_t PatternHeight() const { return FPatternHeight; }
  void SetPatternHeight(int32_t Value) { FPatternHeight = Value; }
  int32_t PatternWidth() const { return FPatternWidth; }
  void SetPatternWidth(int32_t Value) { FPatternWidth = Value; }
  int32_t SkipHeight() const { return FSkipHeight; }
  void SetSkipHeight(int32_t Value) { FSkipHeight = Value; }
  int32_t SkipWidth() const { return FSkipWidth; }
  void SetSkipWidth(int32_t Value) { FSkipWidth = Value; }
  bool SystemMemory() const { return FSystemMemory; }
  void SetSystemMemory(bool Value) { FSystemMemory = Value; }
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool Value) { FTransparent = Value; }
  TColor TransparentColor() const { return FTransparentColor; }
  // Re-keys every existing surface; a surface that refuses is skipped.
  void SetTransparentColor(TColor Value);

  // PatternWidth/PatternHeight when positive, else the picture's size.
  int32_t EffectiveWidth() const;
  int32_t EffectiveHeight() const;
  int32_t PatternCount() const { return FPatterns.Count(); }
  TPictureCollectionItemPattern* Patterns(int32_t Index) const;
  int32_t SurfaceCount() const { return static_cast<int32_t>(FSurfaces.size()); }
  TDirectDrawSurface* ItemSurfaces(int32_t Index) const;

 private:
  TDirectDrawSurface* MakeSurface(const TRect& Rect);
  void AddPattern(const TRect& Rect, TDirectDrawSurface* Surface);
  void CutIntoBlocks(int32_t PW, int32_t PH, int64_t CW, int64_t CH, int32_t Columns, int32_t Rows);

  std::unique_ptr<TPicture> FPicture;
  bool FReady = false;
  int32_t FPatternHeight = 0;
  int32_t FPatternWidth = 0;
  TCollection FPatterns;
  int32_t FSkipHeight = 0;
  int32_t FSkipWidth = 0;
  std::vector<std::unique_ptr<TDirectDrawSurface>> FSurfaces;
  bool FSystemMemory = false;
  bool FTransparent = true;
  TColor FTransparentColor = clBlack;
};

class TPictureCollection : public THashCollection {
 public:
  PELLORA_CLASS_NAME(TPictureCollection)
  explicit TPictureCollection(TCustomDXImageList* AOwner);
  ~TPictureCollection() override;

  // Raises EListError "List index out of bounds (%d)" outside 0 .. Count - 1.
  TPictureCollectionItem* Items(int32_t Index) const;
  TPictureCollectionItem* Add() { return static_cast<TPictureCollectionItem*>(TCollection::Add()); }
  // A display is set and it is up.
  bool IsReady() const;
  // Raises EPictureCollectionError "TPictureCollection cannot be initialized" when the
  // display is not up.
  void AttachDisplay(TCustomDXDraw* ADXDraw);
  void DetachDisplay();
  void RebuildSurfaces();
  // The 16 fixed colours, then the colours the items' pictures use, up to 256 entries.
  void BuildColorTable();

  TCustomDXDraw* DXDraw() const { return FDXDraw; }
  TPersistent* Owner() const override;
  TRGBQuads& ColorTable() { return FColorTable; }
  const TRGBQuads& ColorTable() const { return FColorTable; }

  // "ColorTable": exactly 1024 bytes, the entries in index order.
  void DefineProperties(TFiler& Filer) override;

 private:
  TCustomDXDraw* FDXDraw = nullptr;
  TCustomDXImageList* FOwner;
  TRGBQuads FColorTable{};
};

class TCustomDXImageList : public TComponent {
 public:
  PELLORA_CLASS_NAME(TCustomDXImageList)
  explicit TCustomDXImageList(TComponent* AOwner);
  ~TCustomDXImageList() override;

  TCustomDXDraw* DXDraw() const { return FDXDraw; }
  // Unlinks from the old display (which stops the items) and links to the new one, which
  // answers at once with what it has: a running display gives the items their surfaces.
  void SetDXDraw(TCustomDXDraw* Value);
  TPictureCollection* Items() const { return FItems.get(); }

  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  static void DXDrawNotifyEvent(void* Data, TCustomDXDraw* Sender, DisplayNotice Notice);
  void HandleDisplayNotify(TCustomDXDraw* Sender, DisplayNotice Notice);

  TCustomDXDraw* FDXDraw = nullptr;
  std::unique_ptr<TPictureCollection> FItems;
};

class TDXImageList : public TCustomDXImageList {
 public:
  PELLORA_CLASS_NAME(TDXImageList)
  using TCustomDXImageList::TCustomDXImageList;
};

// Registers TDXImageList and its collection's classes for stored designs; a form whose
// design holds an image list calls it before reading. Calling it again does nothing.
void RegisterDXImageListClasses();
