// The saver and the hack are two hosts of one scene: the same seed and the same picture give
// the same frames, pixel for pixel, once the saver's 16-bit frame is put in the hack's pixel
// format. A picture with near-black pixels shows whether both key the ball alike.
#include <map>
#include <set>
#include <vector>

#include "hack/HackScene.h"
#include "platform/gdi/BitmapFormat.h"
#include "scene/BallPicture.h"
#include "scene/Credit.h"
#include "scene/Random.h"
#include "scene/SceneFixture.h"
#include "scene/SceneSettings.h"
#include "support/BmpFile.h"
#include "support/StoredSettings.h"

namespace {

constexpr int32_t W = 800, H = 600;
// A true-colour visual with blue on top, so that a frame compared without its conversion
// shows.
constexpr bmp::PixelFormat HackPixels{32, {0x0000FF, 0x00FF00, 0xFF0000}};
// Frames with the credit line and after it.
const std::set<int> Compared = {1, 2, 30, 1001, 1002};

using TFrames = std::map<int, std::vector<uint32_t>>;

uint32_t ToHackPixels(uint32_t rgb) {
  uint8_t red, green, blue;
  bmp::kRgb888.Unpack(rgb, red, green, blue);
  return HackPixels.Pack(red, green, blue);
}

// A ball whose colours are far apart in 16 bits, on a rim of near-black that 5-6-5 pixels
// partly cannot tell from black: (4, 2, 6) is see-through there, while green's sixth bit
// keeps (4, 6, 2) and (8, 4, 8) shows.
uint32_t NearBlackRimmed(int x, int y) {
  static constexpr uint32_t rim[] = {0x040206, 0x040602, 0x080408};
  const int dx = x - 20, dy = y - 20, d2 = dx * dx + dy * dy;
  if (d2 > 400) return 0;
  if (d2 > 289) return rim[(x + 2 * y) % 3];
  return (static_cast<uint32_t>(x * 6) << 16) | (static_cast<uint32_t>(y * 6) << 8) | static_cast<uint32_t>(255 - x * 3);
}

class CrossHostTest : public SceneTest {
 protected:
  // The saver as saver mode runs it, with the frames asked for read from its primary
  // surface (5-6-5) and put in the hack's pixel format.
  TFrames SaverFrames() {
    StartSaver();
    EXPECT_TRUE(Errors.empty()) << Errors.front();
    EXPECT_EQ(MainForm->DXDraw->PrimarySurface()->BitCount(), 16);
    TFrames frames;
    // One frame a pass; a saver that stops presenting gives up after as many again.
    const int last = *Compared.rbegin();
    for (int frame = 0, presents = headless::PresentCount(MainForm->Handle()), pass = 0; frame < last && pass < 2 * last;
         ++pass) {
      Idle();
      if (headless::PresentCount(MainForm->Handle()) == presents) continue;
      presents = headless::PresentCount(MainForm->Handle());
      if (Compared.count(++frame) != 0) frames[frame] = Primary();
    }
    return frames;
  }

  std::vector<uint32_t> Primary() {
    TDirectDrawSurface* primary = MainForm->DXDraw->PrimarySurface();
    std::vector<uint32_t> pixels(static_cast<size_t>(W) * H);
    DDSURFACEDESC desc{};
    EXPECT_TRUE(primary->Lock(nullptr, desc));
    EXPECT_EQ(desc.dwWidth, static_cast<DWORD>(W));
    EXPECT_EQ(desc.dwHeight, static_cast<DWORD>(H));
    for (int32_t y = 0; y < H; ++y) {
      const auto* row = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch);
      for (int32_t x = 0; x < W; ++x) {
        uint8_t red, green, blue;
        bmp::kRgb565.Unpack(row[x], red, green, blue);
        pixels[static_cast<size_t>(y) * W + x] = HackPixels.Pack(red, green, blue);
      }
    }
    primary->Unlock(desc.lpSurface);
    return pixels;
  }

  // The hack over the same settings and the same start, drawing into its own buffer.
  TFrames HackFrames() {
    const TSceneSettings settings = ReadSceneSettings();
    std::string note;
    const TSprite ball = LoadBall(settings.Picture, note);
    EXPECT_EQ(note, "");
    THackScene scene(ball, settings.BallCount, settings.MaxSpeed, false, ToHackPixels);
    Randomize();  // the clock's time of day, as the saver's start took it
    scene.Start(W, H);
    std::vector<uint32_t> buffer(static_cast<size_t>(W) * H, ToHackPixels(0));
    TFrames frames;
    for (int frame = 1; frame <= *Compared.rbegin(); ++frame) {
      scene.Step({buffer.data(), W, W, H}, frame * int64_t{16666667});
      if (Compared.count(frame) != 0) frames[frame] = buffer;
    }
    return frames;
  }

  // The credit line is left out while it shows: the saver blends its smoothed edges into
  // whatever lies under them on the 16-bit screen, the hack draws them as made on black.
  void ExpectSameFrames() {
    const TFrames hack = HackFrames();
    const TFrames saver = SaverFrames();
    const TSprite credit = TextSprite(CreditCaption, CreditFontSize, static_cast<TColor>(CreditColor));
    for (const int frame : Compared) {
      SCOPED_TRACE("frame " + std::to_string(frame));
      ASSERT_EQ(saver.count(frame), 1u) << "the saver stopped presenting";
      const std::vector<uint32_t>& a = saver.at(frame);
      const std::vector<uint32_t>& b = hack.at(frame);
      int differ = 0;
      for (size_t i = 0; i < a.size(); ++i) {
        const int32_t x = static_cast<int32_t>(i % W) - CreditLeft, y = static_cast<int32_t>(i / W) - CreditTop;
        if (frame <= CreditFrames && x >= 0 && x < credit.Width && y >= 0 && y < credit.Height) continue;
        if (a[i] == b[i] || ++differ > 5) continue;
        ADD_FAILURE() << "at " << i % W << "," << i / W << ": the saver shows " << std::hex << a[i] << ", the hack "
                      << b[i];
      }
      EXPECT_EQ(differ, 0);
    }
  }
};

TEST_F(CrossHostTest, TheBuiltInBallLooksTheSameInBothHosts) {
  Clock.SetSystemTime(SYSTEMTIME{2026, 3, 2, 10, 12, 0, 0, 0});
  ExpectSameFrames();
}

TEST_F(CrossHostTest, APictureWithNearBlackPixelsIsKeyedTheSameInBothHosts) {
  Clock.SetSystemTime(SYSTEMTIME{2026, 3, 2, 10, 7, 30, 15, 500});
  WriteBmpFileOf(File("rimmed.bmp"), 41, 41, NearBlackRimmed);
  StoreSetting(PictureName, File("rimmed.bmp").string());
  ExpectSameFrames();
}

}  // namespace
