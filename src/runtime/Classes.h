#pragma once
// The runtime's object roots and streams: TObject and TPersistent (assignment, property
// definition for stored designs), the TFiler interface a design reader or writer
// implements, and the stream classes with their errors.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/WinTypes.h"
#include "runtime/SysUtils.h"

// Message templates of this unit.
inline constexpr const char* SReadError = "Stream read error";
inline constexpr const char* SWriteError = "Stream write error";
inline constexpr const char* SFOpenError = "Cannot open file \"%s\". %s";
inline constexpr const char* SFCreateError = "Cannot create file \"%s\". %s";
inline constexpr const char* SMemoryStreamError = "Out of memory while expanding memory stream";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";
inline constexpr const char* SAssignError = "Cannot assign a %s to a %s";

PELLORA_EXCEPTION(EStreamError, Exception);
PELLORA_EXCEPTION(EReadError, EStreamError);
PELLORA_EXCEPTION(EWriteError, EStreamError);
PELLORA_EXCEPTION(EFilerError, EStreamError);
PELLORA_EXCEPTION(EFOpenError, EStreamError);
PELLORA_EXCEPTION(EFCreateError, EStreamError);
PELLORA_EXCEPTION(EListError, Exception);
PELLORA_EXCEPTION(EInvalidOperation, Exception);

// Rectangles and points are the platform's records; right and bottom are exclusive.
using TRect = RECT;
using TPoint = POINT;
inline TRect Rect(LONG left, LONG top, LONG right, LONG bottom) { return TRect{left, top, right, bottom}; }
inline TRect Bounds(LONG left, LONG top, LONG width, LONG height) {
  return TRect{left, top, left + width, top + height};
}
inline TPoint Point(LONG x, LONG y) { return TPoint{x, y}; }
inline bool operator==(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
inline bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

// Every class of the runtime answers its own name, so messages and stored designs can
// name it. Put PELLORA_CLASS_NAME(TFoo) in the public part of class TFoo.
#define PELLORA_CLASS_NAME(Name) \
  static std::string StaticClassName() { return #Name; } \
  std::string ClassName() const override { return #Name; }

class TObject {
 public:
  virtual ~TObject() = default;
  static std::string StaticClassName() { return "TObject"; }
  virtual std::string ClassName() const { return "TObject"; }
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TStream;
class TFiler;
class TReader;  // the design reader and writer are the forms unit's
class TWriter;

class TPersistent : public TObject {
 public:
  PELLORA_CLASS_NAME(TPersistent)
  // Copies Source into this object. The default lets the source try (AssignTo), and
  // that reports "Cannot assign a X to a Y" when neither side knows the other.
  virtual void Assign(const TPersistent* Source);
  // Copies this object into Dest; the default raises the assignment error.
  virtual void AssignTo(TPersistent* Dest) const;
  // Lets a class store data that is not a published property, such as a picture's bytes.
  virtual void DefineProperties(TFiler& Filer);

 protected:
  // Raises EConvertError naming both classes; Source may be nullptr ("nil").
  [[noreturn]] void AssignError(const TPersistent* Source) const;
};

// What a design reader or writer offers a class that stores its own data. A reader calls
// ReadData for a property it finds by that name; a writer calls WriteData when HasData.
class TFiler {
 public:
  using TStreamProc = std::function<void(TStream& Stream)>;
  using TReaderProc = std::function<void(TReader& Reader)>;
  using TWriterProc = std::function<void(TWriter& Writer)>;
  virtual ~TFiler() = default;
  virtual void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                                    bool HasData) = 0;
  // Properties stored as ordinary values through the reader and writer. Filers that have
  // no use for them may leave the default, which ignores them.
  virtual void DefineProperty(const std::string& Name, TReaderProc ReadData, TWriterProc WriteData, bool HasData) {
    (void)Name, (void)ReadData, (void)WriteData, (void)HasData;
  }
  // The object being written is compared with this one to leave out unchanged data.
  TPersistent* Ancestor() const { return FAncestor; }
  void SetAncestor(TPersistent* Value) { FAncestor = Value; }

 private:
  TPersistent* FAncestor = nullptr;
};

enum TSeekOrigin : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// File open modes; the share flags are accepted and ignored (one process, one user).
inline constexpr uint16_t fmOpenRead = 0x0000;
inline constexpr uint16_t fmOpenWrite = 0x0001;
inline constexpr uint16_t fmOpenReadWrite = 0x0002;
inline constexpr uint16_t fmShareCompat = 0x0000;
inline constexpr uint16_t fmShareExclusive = 0x0010;
inline constexpr uint16_t fmShareDenyWrite = 0x0020;
inline constexpr uint16_t fmShareDenyRead = 0x0030;
inline constexpr uint16_t fmShareDenyNone = 0x0040;
inline constexpr uint16_t fmCreate = 0xFFFF;

class TStream : public TObject {
 public:
  PELLORA_CLASS_NAME(TStream)
  // Read and Write move as many bytes as they can and say how many; Count < 0 moves none.
  virtual int32_t Read(void* Buffer, int32_t Count) = 0;
  virtual int32_t Write(const void* Buffer, int32_t Count) = 0;
  // Answers the new position. Seeking before the start clamps to 0 in every stream here.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;

  int64_t Position() { return Seek(0, soFromCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, soFromBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t NewSize);

  // Exactly Count bytes or EReadError / EWriteError.
  void ReadBuffer(void* Buffer, int64_t Count);
  void WriteBuffer(const void* Buffer, int64_t Count);
  // Count 0 copies the whole of Source from its start; answers the bytes copied.
  int64_t CopyFrom(TStream& Source, int64_t Count);
};

// A stream over a block of memory. This class reads and writes inside the block it was
// given and never grows it; TMemoryStream owns and grows its own.
class TCustomMemoryStream : public TStream {
 public:
  PELLORA_CLASS_NAME(TCustomMemoryStream)
  TCustomMemoryStream() = default;
  TCustomMemoryStream(void* Ptr, int64_t Size) { SetPointer(Ptr, Size); }
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  int64_t Size() override { return FSize; }
  void* Memory() const { return FMemory; }
  void SaveToStream(TStream& Stream);
  void SaveToFile(const std::string& FileName);

 protected:
  void SetPointer(void* Ptr, int64_t Size);
  void* FMemory = nullptr;
  int64_t FSize = 0;
  int64_t FPosition = 0;
};

class TMemoryStream : public TCustomMemoryStream {
 public:
  PELLORA_CLASS_NAME(TMemoryStream)
  TMemoryStream() = default;
  ~TMemoryStream() override;
  TMemoryStream(const TMemoryStream&) = delete;
  TMemoryStream& operator=(const TMemoryStream&) = delete;
  int32_t Write(const void* Buffer, int32_t Count) override;
  void SetSize(int64_t NewSize) override;
  void Clear();
  void LoadFromStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  int64_t Capacity() const { return FCapacity; }
  // A copy of the bytes, handy for callers that want a container.
  std::vector<uint8_t> Bytes() const;

 private:
  void SetCapacity(int64_t NewCapacity);
  int64_t FCapacity = 0;
};

// A stream on a file. Failing to open raises EFOpenError, failing to create EFCreateError,
// each naming the path and the system's reason.
class TFileStream : public TStream {
 public:
  PELLORA_CLASS_NAME(TFileStream)
  TFileStream(const std::string& FileName, uint16_t Mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;
  int32_t Read(void* Buffer, int32_t Count) override;
  int32_t Write(const void* Buffer, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  const std::string& FileName() const { return FFileName; }

 private:
  std::string FFileName;
  int FHandle = -1;
};

// Raises EListError "List index out of bounds (%d)" with Index.
[[noreturn]] void ListIndexError(int64_t Index);
