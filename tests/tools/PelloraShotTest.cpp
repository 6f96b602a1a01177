// pellora-shot run as a person runs it: the saver's frames and the dialogs as PNG files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RunProgram.h"
#include "support/TempHive.h"

namespace {

const std::string kShot = PELLORA_BINARY_DIR "/tools/pellora-shot/pellora-shot";

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, top row first
  bool Lit(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) * 3;
    return rgb[at] != 0 || rgb[at + 1] != 0 || rgb[at + 2] != 0;
  }
  // How many pixels of the rectangle are not black.
  int LitIn(int left, int top, int right, int bottom) const {
    int lit = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = left; x < right; ++x) lit += Lit(x, y) ? 1 : 0;
    }
    return lit;
  }
};

uint32_t Be32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8 | static_cast<uint8_t>(bytes[at + 3]);
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// Reads an 8-bit RGB PNG without interlacing (what the tool writes, and what the README's
// pictures are), with any of the row filters; an empty picture for anything else.
Picture ReadPng(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  Picture picture;
  if (bytes.size() < 33 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {};
  std::string packed;
  for (size_t at = 8; at + 12 <= bytes.size();) {
    const uint32_t size = Be32(bytes, at);
    if (size > bytes.size() - at - 12) return {};
    const std::string type = bytes.substr(at + 4, 4);
    if (type == "IHDR") {
      if (size != 13 || bytes.compare(at + 16, 5, std::string("\x08\x02\x00\x00\x00", 5)) != 0) return {};
      picture.width = static_cast<int>(Be32(bytes, at + 8));
      picture.height = static_cast<int>(Be32(bytes, at + 12));
      if (picture.width <= 0 || picture.height <= 0 || picture.width > 8192 || picture.height > 8192) return {};
    } else if (type == "IDAT") {
      packed += bytes.substr(at + 8, size);
    }
    at += 12 + size;
  }
  const size_t stride = static_cast<size_t>(picture.width) * 3;
  std::vector<uint8_t> raw(static_cast<size_t>(picture.height) * (stride + 1));
  uLongf rawSize = raw.size();
  if (raw.empty() || uncompress(raw.data(), &rawSize, reinterpret_cast<const Bytef*>(packed.data()), packed.size()) != Z_OK ||
      rawSize != raw.size()) {
    return {};
  }
  picture.rgb.resize(static_cast<size_t>(picture.height) * stride);
  for (size_t y = 0; y < static_cast<size_t>(picture.height); ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* row = &picture.rgb[y * stride];
    const uint8_t* up = y > 0 ? row - stride : nullptr;
    for (size_t i = 0; i < stride; ++i) {
      const int a = i >= 3 ? row[i - 3] : 0, b = up ? up[i] : 0, c = up && i >= 3 ? up[i - 3] : 0;
      const int predicted = filter == 0 ? 0 : filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : Paeth(a, b, c);
      if (filter > 4) return {};
      row[i] = static_cast<uint8_t>(in[i] + predicted);
    }
  }
  return picture;
}

class PelloraShotTest : public TempHiveTest {
 protected:
  // Runs the tool in this test's hive, writing into a folder of the hive's own.
  ProgramResult Shot(const std::string& out, std::vector<std::string> args) {
    args.insert(args.begin(), {"--out", Dir(out)});
    return RunProgram(kShot, args);
  }
  std::string Dir(const std::string& out) const { return Folder() + "/" + out; }
  std::string File(const std::string& out, const std::string& name) const { return Dir(out) + "/" + name; }
};

TEST_F(PelloraShotTest, TheSameTimeGivesTheSamePicturesAndAnotherTimeOtherBalls) {
  for (const char* out : {"first", "again"}) {
    const ProgramResult run = Shot(out, {"--time", "08:15:30.250", "--frames", "1,30", "/s"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, File(out, "frame-0001.png") + "\n" + File(out, "frame-0030.png") + "\n");
  }
  const ProgramResult later = Shot("later", {"--time", "08:15:30.251", "--frames", "1,30", "/s"});
  ASSERT_EQ(later.status, 0) << later.err;

  for (const char* frame : {"frame-0001.png", "frame-0030.png"}) {
    const std::string first = ReadWholeFile(File("first", frame));
    ASSERT_FALSE(first.empty()) << frame;
    EXPECT_EQ(first, ReadWholeFile(File("again", frame))) << frame << " differs between two runs at the same time";
  }
  const Picture first = ReadPng(File("first", "frame-0030.png"));
  const Picture later30 = ReadPng(File("later", "frame-0030.png"));
  ASSERT_EQ(first.width, 800);
  ASSERT_EQ(first.height, 600);
  ASSERT_EQ(later30.width, 800);
  // Below the caption only the balls are lit: a millisecond later they lie elsewhere.
  size_t moved = 0;
  for (int y = 60; y < 600; ++y) {
    for (int x = 0; x < 800; ++x) moved += first.Lit(x, y) != later30.Lit(x, y) ? 1 : 0;
  }
  EXPECT_GT(moved, 800u * 60u) << "the balls hardly changed with the start time";
  // A hundred balls of 47 pixels cover a fair part of the screen, not all of it.
  const int lit = first.LitIn(0, 0, 800, 600);
  EXPECT_GT(lit, 800 * 600 / 10);
  EXPECT_LT(lit, 800 * 600 * 9 / 10);
}

TEST_F(PelloraShotTest, TheCaptionShowsOnFrameOneThousandAndNotOnTheNext) {
  // Without balls the caption is the only thing lit, so its area says it all.
  WriteRawText("Software\\Korvent_Programs\\Pellora", "BallsCount", std::string("0", 2));
  const ProgramResult run = Shot("caption", {"--time", "21:00:00.000", "--frames", "1000,1001"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Picture last = ReadPng(File("caption", "frame-1000.png"));
  const Picture after = ReadPng(File("caption", "frame-1001.png"));
  ASSERT_EQ(last.width, 800);
  ASSERT_EQ(after.width, 800);
  const int caption = last.LitIn(20, 20, 400, 50);
  EXPECT_GT(caption, 100) << "no caption on frame 1000";
  EXPECT_EQ(caption, last.LitIn(0, 0, 800, 600)) << "something besides the caption is lit";
  EXPECT_EQ(after.LitIn(0, 0, 800, 600), 0) << "frame 1001 still shows something";
}

TEST_F(PelloraShotTest, TheDialogModesWriteTheirDialogsAsTheScreenShowsThem) {
  // The README's pictures were taken of the real windows under X.
  const struct {
    const char* Switch;
    const char* File;
  } modes[] = {{"/c", "options.png"}, {"/A", "set-password.png"}};
  for (const auto& mode : modes) {
    const ProgramResult run = Shot("dialogs", {mode.Switch});
    ASSERT_EQ(run.status, 0) << mode.Switch << ": " << run.err;
    EXPECT_EQ(run.out, File("dialogs", mode.File) + "\n");
    const Picture shot = ReadPng(File("dialogs", mode.File));
    const Picture seen = ReadPng(std::string(PELLORA_SOURCE_DIR) + "/docs/" + mode.File);
    ASSERT_GT(seen.width, 0) << mode.File;
    EXPECT_EQ(shot.width, seen.width) << mode.Switch;
    EXPECT_EQ(shot.height, seen.height) << mode.Switch;
    EXPECT_TRUE(shot.rgb == seen.rgb) << mode.Switch << " does not look as it does on screen";
  }
}

TEST_F(PelloraShotTest, AWrongCommandLineIsSaidWithTheUsageAndWritesNothing) {
  const std::vector<std::vector<std::string>> wrong = {
      {"--time", "24:00:00.000"}, {"--time", "8:15:30"},   {"--screen", "800by600"}, {"--screen", "0x600"},
      {"--frames", "0"},          {"--frames", "5-3"},     {"--frames", "1,,2"},     {"--frames", "1-20000"},
      {"--out"},                  {"--bogus", "1"},        {"/p"},                   {"--frames", "2", "/c"},
  };
  for (const std::vector<std::string>& args : wrong) {
    const ProgramResult run = Shot("wrong", args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_NE(run.err.find("usage: pellora-shot"), std::string::npos) << args[0] << ": " << run.err;
    EXPECT_TRUE(run.out.empty()) << args[0];
    EXPECT_FALSE(std::filesystem::exists(Dir("wrong"))) << args[0];
  }
}

TEST_F(PelloraShotTest, ASaverThatCannotTakeTheScreenFailsWithItsMessage) {
  // 800 x 600 cannot be shown on a smaller screen; the run must say so, not hang or pass.
  const ProgramResult run = Shot("small", {"--screen", "320x200", "--time", "00:00:00.000", "/s"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("Display mode cannot be changed (800x600 16bit)"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(File("small", "frame-0001.png")));
}

}  // namespace
