#pragma once
// Global memory blocks as the clipboard passes them, and a read-only stream over a locked
// block. Handles are checked: an unknown or freed handle fails the platform's way (0 or
// nullptr) instead of touching memory.
#include <cstdint>

#include "platform/WinTypes.h"
#include "runtime/Classes.h"

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;
inline constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// A block of Bytes bytes (zeroed when GMEM_ZEROINIT is given, and always here, so no
// stale memory ever leaks out through the clipboard); nullptr when it cannot be had.
HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes);
// The block's address, counting the lock; nullptr for a bad handle.
void* GlobalLock(HGLOBAL Mem);
// TRUE while locks remain after this one; FALSE when the block is now unlocked (or the
// handle is bad).
BOOL GlobalUnlock(HGLOBAL Mem);
size_t GlobalSize(HGLOBAL Mem);
// nullptr on success, the handle itself when it was not a live block.
HGLOBAL GlobalFree(HGLOBAL Mem);
// Ours: the number of live blocks, for tests that check nothing leaks.
size_t GlobalBlockCount();

// Reads a global block in place; the block is locked while the stream lives.
class TGlobalMemoryStream : public TCustomMemoryStream {
 public:
  PELLORA_CLASS_NAME(TGlobalMemoryStream)
  // A bad handle gives an empty stream rather than a crash.
  explicit TGlobalMemoryStream(HGLOBAL Mem);
  ~TGlobalMemoryStream() override;
  TGlobalMemoryStream(const TGlobalMemoryStream&) = delete;
  TGlobalMemoryStream& operator=(const TGlobalMemoryStream&) = delete;
  int32_t Write(const void* Buffer, int32_t Count) override;

 private:
  HGLOBAL FHandle;
  bool FLocked = false;
};
