#include "runtime/Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

void TPersistent::Assign(const TPersistent* Source) {
  if (Source != nullptr) {
    Source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  // The destination did not know this class either; say so in its words.
  if (Dest != nullptr) Dest->AssignError(this);
  throw EConvertError(SAssignError, {ClassName(), std::string("nil")});
}

void TPersistent::DefineProperties(TFiler& Filer) { (void)Filer; }

void TPersistent::AssignError(const TPersistent* Source) const {
  const std::string sourceName = Source != nullptr ? Source->ClassName() : std::string("nil");
  throw EConvertError(SAssignError, {sourceName, ClassName()});
}

void ListIndexError(int64_t Index) { throw EListError(SListIndexError, {Index}); }

// TStream

int64_t TStream::Size() {
  const int64_t pos = Seek(0, soFromCurrent);
  const int64_t size = Seek(0, soFromEnd);
  Seek(pos, soFromBeginning);
  return size;
}

void TStream::SetSize(int64_t NewSize) { (void)NewSize; }

void TStream::ReadBuffer(void* Buffer, int64_t Count) {
  auto* out = static_cast<uint8_t*>(Buffer);
  while (Count > 0) {
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
    const int32_t got = Read(out, chunk);
    if (got <= 0) throw EReadError(SReadError);
    out += got;
    Count -= got;
  }
  if (Count < 0) throw EReadError(SReadError);
}

void TStream::WriteBuffer(const void* Buffer, int64_t Count) {
  const auto* in = static_cast<const uint8_t*>(Buffer);
  while (Count > 0) {
    const int32_t chunk = static_cast<int32_t>(std::min<int64_t>(Count, 1 << 30));
    const int32_t put = Write(in, chunk);
    if (put <= 0) throw EWriteError(SWriteError);
    in += put;
    Count -= put;
  }
  if (Count < 0) throw EWriteError(SWriteError);
}

int64_t TStream::CopyFrom(TStream& Source, int64_t Count) {
  if (Count == 0) {
    Source.SetPosition(0);
    Count = Source.Size();
  }
  if (Count < 0) throw EReadError(SReadError);
  const int64_t total = Count;
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(Count, 0xF000)));
  while (Count > 0) {
    const int64_t n = std::min<int64_t>(Count, static_cast<int64_t>(buffer.size()));
    Source.ReadBuffer(buffer.data(), n);
    WriteBuffer(buffer.data(), n);
    Count -= n;
  }
  return total;
}

// TCustomMemoryStream

void TCustomMemoryStream::SetPointer(void* Ptr, int64_t Size) {
  FMemory = Ptr;
  FSize = Ptr != nullptr && Size > 0 ? Size : 0;
}

int32_t TCustomMemoryStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min<int64_t>(Count, FSize - FPosition);
  std::memcpy(Buffer, static_cast<uint8_t*>(FMemory) + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return static_cast<int32_t>(n);
}

int32_t TCustomMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0 || FPosition >= FSize) return 0;
  const int64_t n = std::min<int64_t>(Count, FSize - FPosition);
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(n));
  FPosition += n;
  return static_cast<int32_t>(n);
}

int64_t TCustomMemoryStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  int64_t base = 0;
  switch (Origin) {
    case soFromBeginning: base = 0; break;
    case soFromCurrent: base = FPosition; break;
    case soFromEnd: base = FSize; break;
  }
  // Past the end is allowed (a later write grows a memory stream there); before the
  // start is not a place.
  const int64_t target = base + Offset;
  FPosition = std::max<int64_t>(0, target);
  return FPosition;
}

void TCustomMemoryStream::SaveToStream(TStream& Stream) {
  if (FSize > 0) Stream.WriteBuffer(FMemory, FSize);
}

void TCustomMemoryStream::SaveToFile(const std::string& FileName) {
  TFileStream file(FileName, fmCreate);
  SaveToStream(file);
}

// TMemoryStream

TMemoryStream::~TMemoryStream() { std::free(FMemory); }

void TMemoryStream::SetCapacity(int64_t NewCapacity) {
  if (NewCapacity == FCapacity) return;
  if (NewCapacity <= 0) {
    std::free(FMemory);
    FMemory = nullptr;
    FCapacity = 0;
    return;
  }
  if (static_cast<uint64_t>(NewCapacity) > std::numeric_limits<size_t>::max() / 2) throw EStreamError(SMemoryStreamError);
  void* grown = std::realloc(FMemory, static_cast<size_t>(NewCapacity));
  if (grown == nullptr) throw EStreamError(SMemoryStreamError);
  FMemory = grown;
  FCapacity = NewCapacity;
}

void TMemoryStream::SetSize(int64_t NewSize) {
  if (NewSize < 0) NewSize = 0;
  if (NewSize > FCapacity) {
    // Grow by at least half again so a run of small writes costs amortized constant time.
    SetCapacity(std::max<int64_t>(NewSize, FCapacity + FCapacity / 2 + 256));
  }
  if (NewSize > FSize) std::memset(static_cast<uint8_t*>(FMemory) + FSize, 0, static_cast<size_t>(NewSize - FSize));
  FSize = NewSize;
  if (FPosition > FSize) FPosition = FSize;
}

int32_t TMemoryStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const int64_t end = FPosition + Count;
  if (end > FSize) {
    const int64_t pos = FPosition;
    SetSize(end);
    FPosition = pos;
  }
  std::memcpy(static_cast<uint8_t*>(FMemory) + FPosition, Buffer, static_cast<size_t>(Count));
  FPosition = end;
  return Count;
}

void TMemoryStream::Clear() {
  SetCapacity(0);
  FSize = 0;
  FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& Stream) {
  Stream.SetPosition(0);
  const int64_t count = Stream.Size();
  SetSize(count);
  if (count > 0) Stream.ReadBuffer(FMemory, count);
  FPosition = 0;
}

void TMemoryStream::LoadFromFile(const std::string& FileName) {
  TFileStream file(FileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

std::vector<uint8_t> TMemoryStream::Bytes() const {
  const auto* p = static_cast<const uint8_t*>(FMemory);
  return p != nullptr ? std::vector<uint8_t>(p, p + FSize) : std::vector<uint8_t>();
}

// TFileStream

TFileStream::TFileStream(const std::string& FileName, uint16_t Mode) : FFileName(FileName) {
  if (Mode == fmCreate) {
    FHandle = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (FHandle < 0) throw EFCreateError(SFCreateError, {FileName, std::string(std::strerror(errno))});
    return;
  }
  int flags = O_RDONLY;
  switch (Mode & 0x3) {
    case fmOpenWrite: flags = O_WRONLY; break;
    case fmOpenReadWrite: flags = O_RDWR; break;
    default: flags = O_RDONLY; break;
  }
  FHandle = ::open(FileName.c_str(), flags | O_CLOEXEC);
  if (FHandle < 0) throw EFOpenError(SFOpenError, {FileName, std::string(std::strerror(errno))});
  struct stat st {};
  if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(FHandle);
    FHandle = -1;
    throw EFOpenError(SFOpenError, {FileName, std::string(std::strerror(EISDIR))});
  }
}

TFileStream::~TFileStream() {
  if (FHandle >= 0) ::close(FHandle);
}

int32_t TFileStream::Read(void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    const ssize_t n = ::read(FHandle, out + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t TFileStream::Write(const void* Buffer, int32_t Count) {
  if (Count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(Buffer);
  int32_t done = 0;
  while (done < Count) {
    const ssize_t n = ::write(FHandle, in + done, static_cast<size_t>(Count - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int whence = Origin == soFromBeginning ? SEEK_SET : Origin == soFromCurrent ? SEEK_CUR : SEEK_END;
  off_t r = ::lseek(FHandle, static_cast<off_t>(Offset), whence);
  if (r < 0) {
    // Before the start: stay at 0 like the memory streams do.
    r = ::lseek(FHandle, 0, SEEK_SET);
  }
  return r < 0 ? 0 : static_cast<int64_t>(r);
}

void TFileStream::SetSize(int64_t NewSize) {
  if (NewSize < 0 || ::ftruncate(FHandle, static_cast<off_t>(NewSize)) != 0) throw EWriteError(SWriteError);
  if (Position() > NewSize) SetPosition(NewSize);
}
