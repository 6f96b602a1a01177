#include "runtime/Clipbrd.h"

#include <cstring>

#include "runtime/GlobalMemory.h"
#include "runtime/Graphics.h"

TClipboard::~TClipboard() {
  // The clipboard outlives its users; it lets go of what it owns quietly.
  for (auto& [format, data] : FData) GlobalFree(data);
  FData.clear();
  if (FPalette != nullptr) DeleteObject(FPalette);
}

void TClipboard::Open() { ++FOpenRefCount; }

void TClipboard::Close() {
  if (FOpenRefCount > 0) --FOpenRefCount;
}

void TClipboard::Clear() {
  Open();
  for (auto& [format, data] : FData) GlobalFree(data);
  FData.clear();
  if (FPalette != nullptr) DeleteObject(FPalette);
  FPalette = nullptr;
  Close();
}

void TClipboard::SetAsHandle(uint16_t Format, HGLOBAL Data) {
  Open();
  auto it = FData.find(Format);
  if (it != FData.end()) {
    if (it->second != Data) GlobalFree(it->second);
    FData.erase(it);
  }
  if (Data != nullptr) FData[Format] = Data;
  Close();
}

HGLOBAL TClipboard::GetAsHandle(uint16_t Format) const {
  auto it = FData.find(Format);
  return it == FData.end() ? nullptr : it->second;
}

bool TClipboard::HasFormat(uint16_t Format) const {
  if (Format == CF_PALETTE) return FPalette != nullptr;
  return FData.count(Format) != 0;
}

void TClipboard::SetPalette(HPALETTE Palette) {
  Open();
  if (FPalette != nullptr && FPalette != Palette) DeleteObject(FPalette);
  FPalette = Palette;
  Close();
}

std::string TClipboard::AsText() const {
  HGLOBAL data = GetAsHandle(CF_TEXT);
  if (data == nullptr) return std::string();
  TGlobalMemoryStream stream(data);
  const auto* p = static_cast<const char*>(stream.Memory());
  const size_t size = static_cast<size_t>(stream.Size());
  // The block holds a terminated text; never read past the block when it is not.
  return std::string(p, strnlen(p, size));
}

void TClipboard::SetAsText(const std::string& Text) {
  HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, Text.size() + 1);
  if (data == nullptr) throw EOutOfMemory("Out of memory");
  void* p = GlobalLock(data);
  std::memcpy(p, Text.data(), Text.size());
  GlobalUnlock(data);
  Open();
  Clear();
  SetAsHandle(CF_TEXT, data);
  Close();
}

void TClipboard::AssignGraphic(TGraphic* Graphic) {
  uint16_t format = 0;
  HGLOBAL data = nullptr;
  HPALETTE palette = nullptr;
  Graphic->SaveToClipboardFormat(format, data, palette);
  Open();
  Clear();
  SetAsHandle(format, data);
  if (palette != nullptr) SetPalette(palette);
  Close();
}

void TClipboard::AssignToPicture(TPicture* Picture) const {
  for (const auto& [format, data] : FData) {
    if (TPicture::SupportsClipboardFormat(format)) {
      Picture->LoadFromClipboardFormat(format, data, FPalette);
      return;
    }
  }
  throw EInvalidGraphic(SUnknownClipboardFormat);
}

TClipboard* Clipboard() {
  // Never destroyed: at exit the global-memory and GDI tables may already be gone.
  static TClipboard* clipboard = new TClipboard;
  return clipboard;
}
