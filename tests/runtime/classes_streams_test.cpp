#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "runtime/Classes.h"
#include "runtime/Clipbrd.h"
#include "runtime/GlobalMemory.h"

namespace {

std::string TempPath(const std::string& name) {
  return std::string(::testing::TempDir()) + "/pellora_classes_" + std::to_string(::getpid()) + "_" + name;
}

TEST(MemoryStream, GrowsOnWriteAndReadsBackWhatWasWritten) {
  TMemoryStream s;
  std::string chunk(1000, 'x');
  for (int i = 0; i < 50; ++i) {
    chunk[0] = static_cast<char>('a' + i % 26);
    s.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
  }
  EXPECT_EQ(s.Size(), 50000);
  EXPECT_EQ(s.Position(), 50000);
  EXPECT_GE(s.Capacity(), 50000);
  s.SetPosition(49 * 1000);
  char c = 0;
  s.ReadBuffer(&c, 1);
  EXPECT_EQ(c, static_cast<char>('a' + 49 % 26));
}

TEST(MemoryStream, WritingPastTheEndFillsTheGapWithZeros) {
  TMemoryStream s;
  s.Seek(10, soFromBeginning);
  const uint8_t v = 7;
  s.WriteBuffer(&v, 1);
  ASSERT_EQ(s.Size(), 11);
  const std::vector<uint8_t> bytes = s.Bytes();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_EQ(bytes[10], 7);
}

TEST(MemoryStream, SeekFromEachOriginAndClampsBeforeTheStart) {
  TMemoryStream s;
  s.WriteBuffer("0123456789", 10);
  EXPECT_EQ(s.Seek(3, soFromBeginning), 3);
  EXPECT_EQ(s.Seek(2, soFromCurrent), 5);
  EXPECT_EQ(s.Seek(-1, soFromEnd), 9);
  EXPECT_EQ(s.Seek(-100, soFromCurrent), 0);
  char c = 0;
  s.Seek(-4, soFromEnd);
  s.ReadBuffer(&c, 1);
  EXPECT_EQ(c, '6');
}

TEST(MemoryStream, ReadBufferRaisesTheReadErrorWhenTooFewBytesCome) {
  TMemoryStream s;
  s.WriteBuffer("abc", 3);
  s.SetPosition(1);
  char buf[8];
  try {
    s.ReadBuffer(buf, 3);
    FAIL() << "no error";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), "Stream read error");
  }
  // Read itself answers what it could get.
  s.SetPosition(1);
  EXPECT_EQ(s.Read(buf, 8), 2);
  EXPECT_EQ(s.Read(buf, 8), 0);
}

TEST(CustomMemoryStream, StaysInsideTheCallersBlock) {
  char block[4] = {'a', 'b', 'c', 'd'};
  TCustomMemoryStream s(block, 4);
  s.SetPosition(2);
  EXPECT_EQ(s.Write("XYZ", 3), 2);  // no growth: only what fits
  EXPECT_EQ(std::string(block, 4), "abXY");
  EXPECT_THROW(s.WriteBuffer("Q", 1), EWriteError);
  try {
    s.WriteBuffer("Q", 1);
  } catch (const EWriteError& e) {
    EXPECT_EQ(e.Message(), "Stream write error");
  }
}

TEST(Stream, CopyFromWithZeroCopiesTheWholeSourceFromItsStart) {
  TMemoryStream a, b;
  a.WriteBuffer("hello world", 11);
  a.SetPosition(6);
  EXPECT_EQ(b.CopyFrom(a, 0), 11);
  EXPECT_EQ(b.Size(), 11);
  TMemoryStream c;
  a.SetPosition(6);
  EXPECT_EQ(c.CopyFrom(a, 5), 5);
  const std::vector<uint8_t> bytes = c.Bytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "world");
  a.SetPosition(8);
  EXPECT_THROW(c.CopyFrom(a, 5), EReadError);
}

TEST(FileStream, CreateWriteReopenAndRead) {
  const std::string path = TempPath("file.bin");
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("pellora", 7);
    EXPECT_EQ(f.Size(), 7);
  }
  TMemoryStream m;
  m.LoadFromFile(path);
  const std::vector<uint8_t> bytes = m.Bytes();
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "pellora");
  {
    TFileStream f(path, fmOpenReadWrite);
    f.Seek(0, soFromEnd);
    f.WriteBuffer("!", 1);
    f.SetSize(3);
    EXPECT_EQ(f.Size(), 3);
  }
  std::remove(path.c_str());
}

TEST(FileStream, OpenErrorsNameThePathAndTheReason) {
  const std::string missing = TempPath("does-not-exist.bmp");
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL() << "opened a missing file";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message().rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << e.Message();
    EXPECT_NE(e.Message().find("No such file"), std::string::npos) << e.Message();
  }
  EXPECT_THROW(TFileStream(std::string(::testing::TempDir()), fmOpenRead), EFOpenError);
  try {
    TFileStream f("/nonexistent-dir/x.bmp", fmCreate);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_NE(e.Message().find("Cannot create file \"/nonexistent-dir/x.bmp\"."), std::string::npos);
  }
  // Both are stream errors, which callers may catch together.
  EXPECT_THROW(TFileStream(missing, fmOpenRead), EStreamError);
}

class TPoint3 : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TPoint3)
  int X = 0;
  void Assign(const TPersistent* Source) override {
    if (const auto* p = dynamic_cast<const TPoint3*>(Source)) {
      X = p->X;
      return;
    }
    TPersistent::Assign(Source);
  }
};

class TOther : public TPersistent {
 public:
  PELLORA_CLASS_NAME(TOther)
};

TEST(Persistent, AssignmentBetweenStrangersNamesBothClasses) {
  TPoint3 a, b;
  a.X = 5;
  b.Assign(&a);
  EXPECT_EQ(b.X, 5);
  TOther other;
  try {
    b.Assign(&other);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TOther to a TPoint3");
  }
  try {
    b.Assign(nullptr);
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TPoint3");
  }
}

TEST(ListError, CarriesTheIndex) {
  try {
    ListIndexError(-3);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (-3)");
  }
}

TEST(GlobalMemory, BlocksAreZeroedLockedAndCheckedByHandle) {
  const size_t before = GlobalBlockCount();
  HGLOBAL h = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 16);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GlobalSize(h), 16u);
  auto* p = static_cast<uint8_t*>(GlobalLock(h));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], 0);
  std::memcpy(p, "abcd", 4);
  EXPECT_EQ(GlobalLock(h), p);
  EXPECT_EQ(GlobalUnlock(h), TRUE);   // one lock left
  EXPECT_EQ(GlobalUnlock(h), FALSE);  // now unlocked
  EXPECT_EQ(GlobalUnlock(h), FALSE);  // unlocking an unlocked block changes nothing
  {
    TGlobalMemoryStream s(h);
    EXPECT_EQ(s.Size(), 16);
    char buf[4];
    s.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "abcd");
    EXPECT_EQ(s.Write("zz", 2), 0);  // read-only
    GlobalLock(h);
    EXPECT_EQ(GlobalUnlock(h), TRUE);  // the stream's own lock is still held
  }
  GlobalLock(h);
  EXPECT_EQ(GlobalUnlock(h), FALSE);  // the stream let go of its lock when it was freed
  EXPECT_EQ(GlobalFree(h), nullptr);
  // A freed or invented handle is refused, never followed.
  EXPECT_EQ(GlobalLock(h), nullptr);
  EXPECT_EQ(GlobalSize(h), 0u);
  EXPECT_EQ(GlobalFree(h), h);
  TGlobalMemoryStream bad(h);
  EXPECT_EQ(bad.Size(), 0);
  EXPECT_EQ(GlobalBlockCount(), before);
}

TEST(ClipboardTest, HoldsBlocksByFormatAndFreesWhatItReplaces) {
  const size_t before = GlobalBlockCount();
  {
    TClipboard clip;
    clip.SetAsText("balls");
    EXPECT_TRUE(clip.HasFormat(CF_TEXT));
    EXPECT_FALSE(clip.HasFormat(CF_DIB));
    EXPECT_EQ(clip.AsText(), "balls");
    clip.SetAsText("more balls");  // the earlier block is freed, not leaked
    EXPECT_EQ(clip.AsText(), "more balls");
    EXPECT_EQ(GlobalBlockCount(), before + 1);
    HGLOBAL h = GlobalAlloc(GHND, 3);
    clip.SetAsHandle(CF_DIB, h);
    EXPECT_EQ(clip.GetAsHandle(CF_DIB), h);
    EXPECT_EQ(clip.FormatCount(), 2);
    clip.Clear();
    EXPECT_FALSE(clip.HasFormat(CF_TEXT));
    EXPECT_EQ(clip.AsText(), "");
    EXPECT_EQ(GlobalBlockCount(), before);
    clip.SetAsText("x");
  }
  EXPECT_EQ(GlobalBlockCount(), before);  // the clipboard frees what it owns
  EXPECT_EQ(Clipboard(), Clipboard());
}

}  // namespace
