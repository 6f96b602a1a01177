#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "DIBTestSupport.h"
#include "runtime/GlobalMemory.h"

using dibtest::ExpectError;

namespace {

std::vector<uint8_t> Body(TDIB& dib) {
  TMemoryStream s;
  dib.WriteImageData(s);
  return s.Bytes();
}

void ReadBody(TDIB& dib, const std::vector<uint8_t>& bytes) {
  TMemoryStream s;
  if (!bytes.empty()) s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  s.SetPosition(0);
  dib.ReadImageData(s);
}

// A 40-byte header followed by whatever the test adds.
std::vector<uint8_t> Header(int32_t w, int32_t h, uint16_t bits, uint32_t compression = 0, uint32_t sizeImage = 0,
                            uint32_t clrUsed = 0) {
  BITMAPINFOHEADER bi{};
  bi.biSize = 40;
  bi.biWidth = w;
  bi.biHeight = h;
  bi.biPlanes = 1;
  bi.biBitCount = bits;
  bi.biCompression = compression;
  bi.biSizeImage = sizeImage;
  bi.biClrUsed = clrUsed;
  std::vector<uint8_t> out(40);
  std::memcpy(out.data(), &bi, 40);
  return out;
}

void Append(std::vector<uint8_t>& v, std::initializer_list<uint8_t> bytes) { v.insert(v.end(), bytes); }
void Append(std::vector<uint8_t>& v, size_t count, uint8_t byte) { v.insert(v.end(), count, byte); }

}  // namespace

TEST(DIBStreams, TheBallPictureReadsAndWritesBackUnchanged) {
  const std::vector<uint8_t> file = dibtest::ReadFile(dibtest::SourcePath("designs/BallPicture.bin"));
  ASSERT_EQ(file.size(), 3325u);
  TMemoryStream in;
  in.WriteBuffer(file.data(), static_cast<int64_t>(file.size()));
  in.SetPosition(0);
  TPicture picture;
  picture.ReadData(in);
  auto* dib = dynamic_cast<TDIB*>(picture.Graphic());
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(dib->Width(), 47);
  EXPECT_EQ(dib->Height(), 47);
  EXPECT_EQ(dib->BitCount(), 8);
  EXPECT_EQ(dib->RowBytes(), 48);
  EXPECT_EQ(dib->ImageSize(), 2256);
  EXPECT_EQ(dib->ColorCount(), 256);
  std::set<uint32_t> used;
  for (int y = 0; y < 47; ++y)
    for (int x = 0; x < 47; ++x) used.insert(dib->ReadPixel(x, y));
  EXPECT_EQ(used.size(), 44u);
  EXPECT_EQ(dib->ReadPixel(0, 0), 255u);   // background in the corners
  EXPECT_EQ(dib->ReadPixel(46, 46), 255u);
  EXPECT_NE(dib->ReadPixel(23, 23), 255u);  // the ball in the middle
  const RGBQUAD black = dib->ColorTable()[255], white = dib->ColorTable()[0];
  EXPECT_EQ(black.rgbRed + black.rgbGreen + black.rgbBlue, 0);
  EXPECT_EQ(white.rgbRed + white.rgbGreen + white.rgbBlue, 765);
  // Plainly blue, not grey: over the ball's pixels blue outweighs red and green by far.
  int64_t red = 0, green = 0, blue = 0;
  for (int y = 0; y < 47; ++y)
    for (int x = 0; x < 47; ++x) {
      const RGBQUAD c = dib->ColorTable()[dib->ReadPixel(x, y)];
      red += c.rgbRed;
      green += c.rgbGreen;
      blue += c.rgbBlue;
    }
  EXPECT_GT(blue, 2 * red);
  EXPECT_GT(blue * 2, 3 * green);

  const std::vector<uint8_t> body = Body(*dib);
  EXPECT_EQ(body, std::vector<uint8_t>(file.begin() + 5, file.end()));
  TMemoryStream out;
  picture.WriteData(out);
  EXPECT_EQ(out.Bytes(), file);
}

TEST(DIBStreams, EmptyStreamsGiveAnEmptyDIBAndEmptyDIBsWriteNothing) {
  TDIB dib;
  dib.Reformat(2, 2, 8);
  ReadBody(dib, {});
  EXPECT_TRUE(dib.IsEmpty());
  EXPECT_TRUE(Body(dib).empty());
  TMemoryStream file;
  dib.SaveToFileStream(file);
  EXPECT_EQ(file.Size(), 0);
  // One to three bytes where the header size belongs: refused.
  for (size_t n = 1; n <= 3; ++n)
    ExpectError<EInvalidGraphic>([&] { ReadBody(dib, std::vector<uint8_t>(n, 40)); }, "DIB is invalid");
}

TEST(DIBStreams, TopDownBodiesReadIntoTheSameStore) {
  std::mt19937 rng(5);
  TDIB source;
  source.Reformat(5, 4, 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) source.WritePixel(x, y, rng() & 0xFFFFFF);
  std::vector<uint8_t> bottomUp = Body(source);
  std::vector<uint8_t> topDown = Header(5, -4, 24, 0, 64);
  for (int y = 0; y < 4; ++y) {
    const uint8_t* row = source.ScanLine(y);
    topDown.insert(topDown.end(), row, row + 16);
  }
  TDIB a, b;
  ReadBody(a, bottomUp);
  ReadBody(b, topDown);
  EXPECT_EQ(b.Height(), 4);
  EXPECT_EQ(dibtest::Rows(a), dibtest::Rows(b));
  EXPECT_EQ(Body(b), bottomUp);
}

TEST(DIBStreams, CoreHeadersAndBitFields) {
  // 12-byte header: 2 x 1 at 1 bit, palette entries of 3 bytes.
  std::vector<uint8_t> core = {12, 0, 0, 0, 2, 0, 1, 0, 1, 0, 1, 0};
  Append(core, {1, 2, 3, 4, 5, 6});
  Append(core, {0x40, 0, 0, 0});
  TDIB dib;
  ReadBody(dib, core);
  EXPECT_EQ(dib.BitCount(), 1);
  EXPECT_EQ(dib.ColorTable()[1].rgbBlue, 4);
  EXPECT_EQ(dib.ColorTable()[1].rgbRed, 6);
  EXPECT_EQ(dib.ReadPixel(0, 0), 0u);
  EXPECT_EQ(dib.ReadPixel(1, 0), 1u);

  std::vector<uint8_t> rgb565 = Header(1, 1, 16, 3, 4);
  Append(rgb565, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
  Append(rgb565, {0x1F, 0x00, 0, 0});
  ReadBody(dib, rgb565);
  EXPECT_EQ(dib.PixelFormat(), DIBFormat565());
  EXPECT_EQ(dib.ReadPixel(0, 0), 0x1Fu);
  EXPECT_EQ(Body(dib), rgb565);

  // Masks away from the places their bit counts give would show wrong colours.
  std::vector<uint8_t> swapped = Header(1, 1, 16, 3, 4);
  Append(swapped, {0x1F, 0, 0, 0, 0xE0, 0x07, 0, 0, 0x00, 0xF8, 0, 0});
  Append(swapped, 4, 0);
  ExpectError<EInvalidGraphicOperation>([&] { ReadBody(dib, swapped); }, "PixelFormat in invalid");
  std::vector<uint8_t> bad24 = Header(1, 1, 24, 3, 4);
  Append(bad24, {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0});
  Append(bad24, 4, 0);
  ExpectError<EInvalidGraphicOperation>([&] { ReadBody(dib, bad24); }, "PixelFormat in invalid");
}

TEST(DIBStreams, BadBodiesAreRefusedAndTheDIBKeepsItsPicture) {
  TDIB dib;
  dib.Reformat(3, 3, 8);
  dib.WritePixel(1, 1, 99);
  const TDIBSharedImage* before = dib.Image();
  auto refuse = [&](const std::vector<uint8_t>& body, const std::string& message, bool readError = false) {
    if (readError)
      ExpectError<EReadError>([&] { ReadBody(dib, body); }, message);
    else
      ExpectError<Exception>([&] { ReadBody(dib, body); }, message);
    EXPECT_EQ(dib.Image(), before);
    EXPECT_EQ(dib.ReadPixel(1, 1), 99u);
  };
  std::vector<uint8_t> size20 = Header(1, 1, 8);
  size20[0] = 20;
  refuse(size20, "DIB is invalid");
  refuse(Header(1, 1, 8, 4), "DIB is invalid");          // compression past bit fields
  refuse(Header(0, 1, 24), "DIB is invalid");            // no columns
  refuse(Header(-4, 1, 24), "DIB is invalid");
  refuse(Header(4, 0, 24), "DIB is invalid");            // no rows
  refuse(Header(1 << 15, 1 << 15, 1), "DIB is invalid");  // 2^30 pixels
  refuse(Header(4, INT32_MIN, 8), "DIB is invalid");
  refuse(Header(4, 4, 24, 1), "DIB is invalid");         // run lengths need 8 (or 4) bits
  refuse(Header(4, -4, 8, 1, 2), "DIB is invalid");      // and rows bottom-up
  std::vector<uint8_t> bits3 = Header(1, 1, 3);
  Append(bits3, 8 * 4 + 4, 0);
  refuse(bits3, "Bitcount in invalid (3)");
  // Pixels the stream ends before: the read error, before any memory is set aside for
  // them. Encoded data larger than the stream: no picture.
  refuse(Header(20000, 10000, 24), "Stream read error", true);
  std::vector<uint8_t> rleHuge = Header(4, 4, 8, 1, 0x7FFFFFF0);
  Append(rleHuge, 1024 + 16, 0);
  refuse(rleHuge, "DIB is invalid");
  std::vector<uint8_t> rleShort = Header(4, 4, 8, 1, 8);
  Append(rleShort, 1024, 0);
  Append(rleShort, {4, 1, 0, 1});
  refuse(rleShort, "DIB is invalid");
  std::vector<uint8_t> shortBody = Header(4, 4, 8);
  Append(shortBody, 1024 + 10, 0);
  refuse(shortBody, "Stream read error", true);
  const std::vector<uint8_t> header = Header(4, 4, 8);
  refuse(std::vector<uint8_t>(header.begin(), header.begin() + 20), "Stream read error", true);
  // Run-length data that would write outside the picture.
  std::vector<uint8_t> overrun = Header(4, 2, 8, 1, 4);
  Append(overrun, 1024, 0);
  Append(overrun, {5, 1, 0, 1});
  refuse(overrun, "DIB is invalid");
}

TEST(DIBStreams, RunLengthBodiesStayEncodedUntilFirstUse) {
  std::vector<uint8_t> rle = Header(4, 2, 8, 1, 10);
  Append(rle, 1024, 0);
  Append(rle, {4, 7, 0, 0, 3, 0, 1, 9, 0, 1});  // bottom row all 7; top row 3 x 0 then 9
  TDIB a;
  ReadBody(a, rle);
  ASSERT_TRUE(a.Image()->Compressed());
  EXPECT_EQ(a.TopRow(), nullptr);
  EXPECT_EQ(Body(a), rle);  // written as held
  TDIB b;
  b.AssignFrom(&a);
  EXPECT_EQ(a.ReadPixel(0, 1), 7u);
  EXPECT_EQ(a.ReadPixel(3, 0), 9u);
  EXPECT_EQ(a.ReadPixel(0, 0), 0u);
  EXPECT_FALSE(a.Image()->Compressed());
  EXPECT_TRUE(b.Image()->Compressed());  // the other sharer keeps the encoded store
  EXPECT_EQ(b.ScanLine(1)[2], 7);
  EXPECT_FALSE(b.Image()->Compressed());

  std::vector<uint8_t> rle4 = Header(3, 1, 4, 2, 4);
  Append(rle4, 64, 0);
  Append(rle4, {3, 0xAB, 0, 1});
  TDIB four;
  ReadBody(four, rle4);
  EXPECT_EQ(four.ReadPixel(0, 0), 0xAu);
  EXPECT_EQ(four.ReadPixel(1, 0), 0xBu);
  EXPECT_EQ(four.ReadPixel(2, 0), 0xAu);
  // Drawing decodes too.
  TDIB target;
  target.Reformat(3, 1, 24);
  TDIB shown;
  ReadBody(shown, rle4);
  shown.ColorTable()[0xA] = {0, 0, 255, 0};
  shown.ApplyColorTable();
  target.Canvas()->Draw(0, 0, &shown);
  EXPECT_EQ(target.ReadPixel(0, 0), 0xFFu);
}

TEST(DIBStreams, FileFormHeaderAndItsRefusals) {
  TDIB dib;
  dib.Reformat(3, 2, 4);
  dib.WritePixel(2, 1, 5);
  TMemoryStream file;
  dib.SaveToFileStream(file);
  const std::vector<uint8_t> bytes = file.Bytes();
  ASSERT_EQ(bytes.size(), 14u + 40 + 64 + 8);
  BITMAPFILEHEADER fh;
  std::memcpy(&fh, bytes.data(), 14);
  // Copied out first: the record is packed, and the checks take references.
  const uint32_t type = fh.bfType, size = fh.bfSize, offset = fh.bfOffBits, reserved = fh.bfReserved1 + fh.bfReserved2;
  EXPECT_EQ(type, 0x4D42u);
  EXPECT_EQ(size, bytes.size());
  EXPECT_EQ(offset, 14u + 40 + 64);
  EXPECT_EQ(reserved, 0u);
  TDIB back;
  file.SetPosition(0);
  back.LoadFromFileStream(file);
  EXPECT_EQ(back.ReadPixel(2, 1), 5u);
  EXPECT_EQ(Body(back), Body(dib));

  TMemoryStream empty;
  back.LoadFromFileStream(empty);  // an empty file changes nothing
  EXPECT_EQ(back.ReadPixel(2, 1), 5u);
  for (size_t cut : {size_t{5}, size_t{13}}) {
    TMemoryStream shortFile;
    shortFile.WriteBuffer(bytes.data(), static_cast<int64_t>(cut));
    shortFile.SetPosition(0);
    ExpectError<EInvalidGraphic>([&] { back.LoadFromFileStream(shortFile); }, "DIB is invalid");
  }
  std::vector<uint8_t> wrongType = bytes;
  wrongType[0] = 'X';
  TMemoryStream bad;
  bad.WriteBuffer(wrongType.data(), static_cast<int64_t>(wrongType.size()));
  bad.SetPosition(0);
  ExpectError<EInvalidGraphic>([&] { back.LoadFromFileStream(bad); }, "DIB is invalid");
  EXPECT_EQ(back.ReadPixel(2, 1), 5u);

  // Through the picture container by extension.
  const std::string path = std::string(PELLORA_BINARY_DIR) + "/dibstream-test.dib";
  dib.SaveToFile(path);
  TPicture picture;
  picture.LoadFromFile(path);
  ASSERT_NE(dynamic_cast<TDIB*>(picture.Graphic()), nullptr);
  EXPECT_EQ(static_cast<TDIB*>(picture.Graphic())->ReadPixel(2, 1), 5u);
  std::filesystem::remove(path);
}

TEST(DIBStreams, ClipboardFormRoundTrips) {
  TDIB dib;
  dib.Reformat(2, 2, 24);
  dib.WritePixel(1, 0, 0x123456);
  uint16_t format = 0;
  HGLOBAL data = nullptr;
  HPALETTE palette = reinterpret_cast<HPALETTE>(1);
  dib.WriteClipboardData(format, data, palette);
  EXPECT_EQ(format, 8);
  EXPECT_EQ(palette, nullptr);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(GlobalSize(data), Body(dib).size());
  TDIB back;
  back.ReadClipboardData(format, data, nullptr);
  EXPECT_EQ(back.ReadPixel(1, 0), 0x123456u);
  EXPECT_EQ(GlobalFree(data), nullptr);
}

namespace {
class RecordingFiler : public TFiler {
 public:
  void DefineBinaryProperty(const std::string& Name, TStreamProc ReadData, TStreamProc WriteData,
                            bool HasData) override {
    names.push_back(Name);
    if (Name == "DIB") {
      read = ReadData;
      writable = static_cast<bool>(WriteData);
      hasData = HasData;
    }
  }
  std::vector<std::string> names;
  TStreamProc read;
  bool writable = true, hasData = true;
};
}  // namespace

TEST(DIBStreams, TheDIBPropertyIsReadAsAFileAndNeverWritten) {
  TDIB source;
  source.Reformat(1, 1, 8);
  source.WritePixel(0, 0, 3);
  TMemoryStream file;
  source.SaveToFileStream(file);
  file.SetPosition(0);
  TDIB dib;
  RecordingFiler filer;
  dib.DefineProperties(filer);
  ASSERT_TRUE(filer.read);
  EXPECT_FALSE(filer.writable);
  EXPECT_FALSE(filer.hasData);
  filer.read(file);
  EXPECT_EQ(dib.ReadPixel(0, 0), 3u);
}

// Every saved input, malformed or found by the fuzzers, through each reader: each either
// reads or refuses with the runtime's exception, and nothing else happens.
TEST(DIBStreams, TheCorpusReadsOrIsRefusedCleanly) {
  const auto dir = std::filesystem::path(dibtest::SourcePath("tests/data/dib"));
  ASSERT_TRUE(std::filesystem::is_directory(dir));
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    const std::vector<uint8_t> bytes = dibtest::ReadFile(entry.path().string());
    auto stream = [&] {
      auto s = std::make_unique<TMemoryStream>();
      if (!bytes.empty()) s->WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
      s->SetPosition(0);
      return s;
    };
    SCOPED_TRACE(entry.path().filename().string());
    // Pictures that read are used as well, up to a size that keeps the test quick.
    auto usable = [](const TDIB& dib) {
      return !dib.IsEmpty() && static_cast<int64_t>(dib.Width()) * dib.Height() <= (int64_t{1} << 20);
    };
    try {
      TDIB dib;
      dib.ReadImageData(*stream());
      if (usable(dib)) dib.ReadPixel(dib.Width() - 1, 0);
    } catch (const Exception&) {
    }
    try {
      TDIB dib;
      dib.LoadFromFileStream(*stream());
      if (usable(dib)) dib.Blur(24, 1);
    } catch (const Exception&) {
    }
    try {
      TBitmap bitmap;
      bitmap.LoadFromStream(*stream());
    } catch (const Exception&) {
    }
  }
  EXPECT_GT(files, 0);
}
