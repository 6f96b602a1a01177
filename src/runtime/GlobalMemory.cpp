#include "runtime/GlobalMemory.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct TGlobalBlock {
  std::unique_ptr<uint8_t[]> Memory;
  size_t Size = 0;
  int32_t Locks = 0;
};

// Handles are small numbers, never addresses, so a stale or made-up handle can only miss
// the table.
struct TGlobalTable {
  std::map<uintptr_t, TGlobalBlock> Blocks;
  uintptr_t Next = 0x1000;
};

TGlobalTable& Table() {
  // Never destroyed, so blocks freed by other objects' destructors at exit stay valid.
  static TGlobalTable* table = new TGlobalTable;
  return *table;
}

TGlobalBlock* Find(HGLOBAL Mem) {
  auto& blocks = Table().Blocks;
  auto it = blocks.find(reinterpret_cast<uintptr_t>(Mem));
  return it == blocks.end() ? nullptr : &it->second;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT Flags, size_t Bytes) {
  (void)Flags;
  // A zero-byte block still gets one byte of memory so GlobalLock answers an address.
  std::unique_ptr<uint8_t[]> memory(new (std::nothrow) uint8_t[Bytes > 0 ? Bytes : 1]());
  if (!memory) return nullptr;
  TGlobalTable& table = Table();
  const uintptr_t id = table.Next;
  table.Next += 0x10;
  TGlobalBlock& block = table.Blocks[id];
  block.Memory = std::move(memory);
  block.Size = Bytes;
  return reinterpret_cast<HGLOBAL>(id);
}

void* GlobalLock(HGLOBAL Mem) {
  TGlobalBlock* block = Find(Mem);
  if (block == nullptr) return nullptr;
  ++block->Locks;
  return block->Memory.get();
}

BOOL GlobalUnlock(HGLOBAL Mem) {
  TGlobalBlock* block = Find(Mem);
  if (block == nullptr || block->Locks == 0) return FALSE;
  --block->Locks;
  return block->Locks > 0 ? TRUE : FALSE;
}

size_t GlobalSize(HGLOBAL Mem) {
  const TGlobalBlock* block = Find(Mem);
  return block != nullptr ? block->Size : 0;
}

HGLOBAL GlobalFree(HGLOBAL Mem) {
  auto& blocks = Table().Blocks;
  auto it = blocks.find(reinterpret_cast<uintptr_t>(Mem));
  if (it == blocks.end()) return Mem;
  blocks.erase(it);
  return nullptr;
}

size_t GlobalBlockCount() { return Table().Blocks.size(); }

TGlobalMemoryStream::TGlobalMemoryStream(HGLOBAL Mem) : FHandle(Mem) {
  void* p = GlobalLock(Mem);
  if (p != nullptr) {
    FLocked = true;
    SetPointer(p, static_cast<int64_t>(GlobalSize(Mem)));
  }
}

TGlobalMemoryStream::~TGlobalMemoryStream() {
  if (FLocked) GlobalUnlock(FHandle);
}

int32_t TGlobalMemoryStream::Write(const void* Buffer, int32_t Count) {
  (void)Buffer, (void)Count;
  return 0;
}
