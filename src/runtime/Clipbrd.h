#pragma once
// A process-local clipboard: data by format as global blocks (which the clipboard owns
// once set), with an optional palette beside a bitmap.
#include <cstdint>
#include <map>

#include "platform/gdi/Gdi.h"
#include "runtime/Classes.h"

inline constexpr uint16_t CF_TEXT = 1;
inline constexpr uint16_t CF_BITMAP = 2;
inline constexpr uint16_t CF_DIB = 8;
inline constexpr uint16_t CF_PALETTE = 9;

inline constexpr const char* SCannotOpenClipboard = "Cannot open clipboard";

PELLORA_EXCEPTION(EClipboardException, Exception);

class TGraphic;
class TPicture;

class TClipboard : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TClipboard)
  TClipboard() = default;
  ~TClipboard() override;
  TClipboard(const TClipboard&) = delete;
  TClipboard& operator=(const TClipboard&) = delete;

  // Opens nest. Every operation below opens and closes around itself as well, so a
  // caller opens only to make several changes one unit.
  void Open();
  void Close();
  bool IsOpen() const { return FOpenRefCount > 0; }
  // Frees every block and the palette.
  void Clear();
  // Takes ownership of Data (a global block) for Format, replacing what was there.
  void SetAsHandle(uint16_t Format, HGLOBAL Data);
  // The block for Format, still owned by the clipboard; nullptr when there is none.
  HGLOBAL GetAsHandle(uint16_t Format) const;
  bool HasFormat(uint16_t Format) const;
  // The palette beside the bitmap data (CF_PALETTE); the clipboard owns it.
  void SetPalette(HPALETTE Palette);
  HPALETTE Palette() const { return FPalette; }
  int32_t FormatCount() const { return static_cast<int32_t>(FData.size()) + (FPalette ? 1 : 0); }

  std::string AsText() const;
  void SetAsText(const std::string& Text);
  // Stores a graphic in its own clipboard form, clearing the clipboard first.
  void AssignGraphic(TGraphic* Graphic);
  // Loads the first format the picture registry knows into Picture.
  void AssignToPicture(TPicture* Picture) const;

 private:
  int32_t FOpenRefCount = 0;
  std::map<uint16_t, HGLOBAL> FData;
  HPALETTE FPalette = nullptr;
};

// The one clipboard of the process, made on first use.
TClipboard* Clipboard();
