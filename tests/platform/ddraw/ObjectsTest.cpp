// The display object and its children: the built-in library table, reference counts and
// handle checks, modes, video memory and the surfaces' descriptions.
#include <vector>

#include "platform/ddraw/Libraries.h"
#include "platform/ddraw/DDrawTestSupport.h"

TEST(DDrawLibraries, TheBuiltInTableFindsDirectDrawCreateWithoutCase) {
  HMODULE module = LoadLibraryA("ddraw.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddress(module, "directdrawcreate"), reinterpret_cast<FARPROC>(&DirectDrawCreate));
  EXPECT_EQ(GetProcAddress(module, "DirectDrawCreateEx"), nullptr);
  EXPECT_EQ(GetProcAddress(module, nullptr), nullptr);
  EXPECT_EQ(LoadLibraryA("D3DRM.dll"), nullptr);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(&module), "DirectDrawCreate"), nullptr);
  EXPECT_TRUE(FreeLibrary(module));

  // What the table gives is the entry point itself.
  auto create = reinterpret_cast<LPDIRECTDRAWCREATE>(GetProcAddress(module, "DirectDrawCreate"));
  LPDIRECTDRAW dd = nullptr;
  ASSERT_EQ(create(nullptr, &dd, nullptr), DD_OK);
  EXPECT_EQ(dd->Release(), 0u);
}

TEST(DDrawRecords, SizesAndCodesAreThePlatformsOwn) {
  EXPECT_EQ(sizeof(DDCAPS), 364u);
  EXPECT_EQ(sizeof(DDBLTFX), 100u);
  EXPECT_EQ(static_cast<uint32_t>(DDERR_SURFACELOST), 0x887601C2u);
  EXPECT_EQ(static_cast<uint32_t>(DDERR_BLTFASTCANTCLIP), 0x8876023Eu);
  EXPECT_EQ(DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX | DDSCL_ALLOWREBOOT, 0x53u);
  EXPECT_EQ(DDBLT_COLORFILL | DDBLT_WAIT, 0x1000400u);
  EXPECT_EQ(DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH, 7u);
  EXPECT_EQ(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 0x840u);
  EXPECT_EQ(DDPCAPS_8BIT | DDPCAPS_INITIALIZE | DDPCAPS_ALLOW256, 76u);
}

TEST_F(DDrawTest, CreateRefusesADriverGuidAndAnOuterObject) {
  GUID guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  LPDIRECTDRAW other = reinterpret_cast<LPDIRECTDRAW>(&guid);
  EXPECT_EQ(DirectDrawCreate(&guid, &other, nullptr), DDERR_INVALIDDIRECTDRAWGUID);
  EXPECT_EQ(other, nullptr);
  int outer = 0;
  EXPECT_EQ(DirectDrawCreate(nullptr, &other, &outer), DDERR_INVALIDPARAMS);
  EXPECT_EQ(DirectDrawCreate(nullptr, nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DDrawTest, ReleasedAndForeignObjectsAnswerInvalidObjectAndNeverCrash) {
  LPDIRECTDRAWSURFACE s = Offscreen(8, 8);
  LPDIRECTDRAWCLIPPER c = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &c, nullptr), DD_OK);
  PALETTEENTRY entries[256] = {};
  LPDIRECTDRAWPALETTE p = nullptr;
  ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT, entries, &p, nullptr), DD_OK);
  ASSERT_EQ(s->SetClipper(c), DD_OK);

  // Releasing the display object releases everything made on it.
  EXPECT_EQ(dd->AddRef(), 2u);
  EXPECT_EQ(dd->Release(), 1u);
  EXPECT_EQ(dd->Release(), 0u);
  LPDIRECTDRAW gone = dd;
  dd = nullptr;
  EXPECT_EQ(gone->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DDERR_INVALIDOBJECT);
  EXPECT_EQ(gone->Release(), 0u);
  EXPECT_EQ(s->IsLost(), DDERR_INVALIDOBJECT);
  EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, 0, nullptr), DDERR_INVALIDOBJECT);
  EXPECT_EQ(s->Release(), 0u);
  EXPECT_EQ(c->SetHWnd(0, nullptr), DDERR_INVALIDOBJECT);
  EXPECT_EQ(p->SetEntries(0, 0, 1, entries), DDERR_INVALIDOBJECT);
  EXPECT_EQ(ddraw::LiveObjectCount(), 0);

  // Made-up objects are refused the same way. (A null object is not tried: calling through
  // a null pointer is undefined before the call even starts.)
  int junk[64] = {};
  EXPECT_EQ(reinterpret_cast<LPDIRECTDRAWSURFACE>(junk)->Flip(nullptr, DDFLIP_WAIT), DDERR_INVALIDOBJECT);
  EXPECT_EQ(reinterpret_cast<LPDIRECTDRAWPALETTE>(junk)->GetEntries(0, 0, 1, entries), DDERR_INVALIDOBJECT);
  ASSERT_EQ(DirectDrawCreate(nullptr, &dd, nullptr), DD_OK);
  EXPECT_EQ(reinterpret_cast<LPDIRECTDRAWSURFACE>(dd)->IsLost(), DDERR_INVALIDOBJECT) << "a display object is no surface";
}

TEST_F(DDrawTest, AttachmentsHoldReferences) {
  LPDIRECTDRAWSURFACE s = Offscreen(8, 8);
  LPDIRECTDRAWCLIPPER c = nullptr;
  ASSERT_EQ(dd->CreateClipper(0, &c, nullptr), DD_OK);
  ASSERT_EQ(s->SetClipper(c), DD_OK);
  EXPECT_EQ(c->Release(), 1u) << "the surface still holds the clipper";
  LPDIRECTDRAWCLIPPER got = nullptr;
  ASSERT_EQ(s->GetClipper(&got), DD_OK);
  EXPECT_EQ(got, c);
  got->Release();
  EXPECT_EQ(s->SetClipper(nullptr), DD_OK);
  EXPECT_EQ(c->AddRef(), 0u) << "the last reference went with the detachment";
  EXPECT_EQ(s->GetClipper(&got), DDERR_NOCLIPPERATTACHED);
  EXPECT_EQ(s->Release(), 0u);
}

TEST_F(DDrawTest, CooperativeLevelsAreCheckedAndExclusiveIsHeldByOne) {
  HWND hwnd = Window();
  EXPECT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_NORMAL | DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_EXCLUSIVE), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetCooperativeLevel(reinterpret_cast<HWND>(0x1234), DDSCL_NORMAL), DDERR_INVALIDPARAMS);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 16), DDERR_NOEXCLUSIVEMODE);
  ASSERT_EQ(dd->SetCooperativeLevel(hwnd, 0x53), DD_OK);
  LPDIRECTDRAW second = nullptr;
  ASSERT_EQ(DirectDrawCreate(nullptr, &second, nullptr), DD_OK);
  EXPECT_EQ(second->SetCooperativeLevel(hwnd, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE), DDERR_EXCLUSIVEMODEALREADYSET);
  EXPECT_EQ(second->SetCooperativeLevel(hwnd, DDSCL_NORMAL), DD_OK);
  second->Release();
}

namespace {
struct Enumerated {
  std::vector<ddraw::DisplayMode> modes;
  size_t stopAfter = 1000;
};
HRESULT Collect(LPDDSURFACEDESC d, void* context) {
  auto* e = static_cast<Enumerated*>(context);
  EXPECT_EQ(d->dwSize, sizeof(DDSURFACEDESC));
  e->modes.push_back({static_cast<int>(d->dwWidth), static_cast<int>(d->dwHeight),
                      static_cast<int>(d->ddpfPixelFormat.dwRGBBitCount)});
  return e->modes.size() >= e->stopAfter ? DDENUMRET_CANCEL : DDENUMRET_OK;
}
}  // namespace

TEST_F(DDrawTest, TheModeListIsTheClassicSizesThatFitPlusTheScreensOwn) {
  Enumerated e;
  ASSERT_EQ(dd->EnumDisplayModes(0, nullptr, &e, Collect), DD_OK);
  std::vector<std::pair<int, int>> sizes;
  for (size_t i = 0; i < e.modes.size(); i += 3) {
    sizes.emplace_back(e.modes[i].width, e.modes[i].height);
    EXPECT_EQ(e.modes[i].bitCount, 8);
    EXPECT_EQ(e.modes[i + 1].bitCount, 16);
    EXPECT_EQ(e.modes[i + 2].bitCount, 32);
  }
  const std::vector<std::pair<int, int>> expected = {{640, 480},   {800, 600},   {1024, 768}, {1152, 864},
                                                     {1280, 1024}, {1600, 1200}, {1920, 1080}};
  // 1600 x 1200 does not fit a 1080-line screen.
  std::vector<std::pair<int, int>> fitting;
  for (auto s : expected) {
    if (s.second <= 1080) fitting.push_back(s);
  }
  EXPECT_EQ(sizes, fitting);

  // A smaller screen drops the sizes beyond it and adds its own.
  headless::SetScreenSize(1000, 700);
  e = Enumerated{};
  dd->EnumDisplayModes(0, nullptr, &e, Collect);
  ASSERT_EQ(e.modes.size(), 9u);
  EXPECT_EQ(e.modes[6].width, 1000);
  EXPECT_EQ(e.modes[6].height, 700);

  e = Enumerated{};
  e.stopAfter = 2;
  dd->EnumDisplayModes(0, nullptr, &e, Collect);
  EXPECT_EQ(e.modes.size(), 2u) << "DDENUMRET_CANCEL ends the enumeration";
}

TEST_F(DDrawTest, ATestCanReplaceTheModeList) {
  ddraw::SetDisplayModes({{1280, 1024, 16}, {640, 480, 32}});
  Enumerated e;
  dd->EnumDisplayModes(0, nullptr, &e, Collect);
  ASSERT_EQ(e.modes.size(), 2u);
  EXPECT_EQ(e.modes[0].width, 1280);
  EXPECT_EQ(e.modes[1].bitCount, 32);
  HWND hwnd = Window();
  ASSERT_EQ(dd->SetCooperativeLevel(hwnd, 0x53), DD_OK);
  EXPECT_EQ(dd->SetDisplayMode(800, 600, 16), DDERR_INVALIDMODE);
  EXPECT_EQ(dd->SetDisplayMode(640, 480, 32), DD_OK);
}

TEST_F(DDrawTest, VideoMemoryRunsOutAndSystemMemoryTakesOver) {
  HWND hwnd = Window();
  ASSERT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_NORMAL), DD_OK);
  ddraw::SetVideoMemory(100 * 1024);
  const DWORD before = ddraw::VideoMemoryFree();
  // 100 x 100 at 32 bits is 40,000 bytes: two fit, the third does not.
  LPDIRECTDRAWSURFACE a = Offscreen(100, 100);
  LPDIRECTDRAWSURFACE b = Offscreen(100, 100);
  DDSURFACEDESC d = Desc();
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.dwWidth = d.dwHeight = 100;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  LPDIRECTDRAWSURFACE c = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &c, nullptr), DDERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(c, nullptr);
  d.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
  ASSERT_EQ(dd->CreateSurface(&d, &c, nullptr), DD_OK);
  DDSCAPS caps{};
  c->GetCaps(&caps);
  EXPECT_TRUE(caps.dwCaps & DDSCAPS_SYSTEMMEMORY);
  EXPECT_FALSE(caps.dwCaps & DDSCAPS_VIDEOMEMORY);
  a->GetCaps(&caps);
  EXPECT_TRUE(caps.dwCaps & DDSCAPS_VIDEOMEMORY);
  DDCAPS driver;
  std::memset(&driver, 0, sizeof driver);
  driver.dwSize = sizeof driver;
  ASSERT_EQ(dd->GetCaps(&driver, nullptr), DD_OK);
  EXPECT_EQ(driver.dwVidMemTotal, 100u * 1024u);
  EXPECT_EQ(driver.dwVidMemFree, before - 80000u);
  driver.dwSize = 100;
  EXPECT_EQ(dd->GetCaps(&driver, nullptr), DDERR_INVALIDPARAMS);
  // Releasing gives the memory back.
  a->Release();
  b->Release();
  c->Release();
  EXPECT_EQ(ddraw::VideoMemoryFree(), before);
  // Duplicates share the memory of their original.
  a = Offscreen(100, 100);
  LPDIRECTDRAWSURFACE dup = nullptr;
  ASSERT_EQ(dd->DuplicateSurface(a, &dup), DD_OK);
  EXPECT_EQ(ddraw::VideoMemoryFree(), before - 40000u);
  SetPixelValue(a, 3, 4, 0x123456);
  EXPECT_EQ(Pixel(dup, 3, 4), 0x123456u);
}

TEST_F(DDrawTest, SurfaceDescriptionsGiveTheModesFormat) {
  Exclusive(800, 600, 16);
  LPDIRECTDRAWSURFACE back = nullptr;
  LPDIRECTDRAWSURFACE primary = FlipChain(&back);
  ASSERT_NE(back, nullptr);
  DDSURFACEDESC d = Desc();
  ASSERT_EQ(back->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.dwWidth, 800u);
  EXPECT_EQ(d.dwHeight, 600u);
  EXPECT_GE(d.lPitch, 1600);
  EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 16u);
  EXPECT_EQ(d.ddpfPixelFormat.dwRBitMask, 0xF800u);
  EXPECT_EQ(d.ddpfPixelFormat.dwGBitMask, 0x07E0u);
  EXPECT_EQ(d.ddpfPixelFormat.dwBBitMask, 0x001Fu);
  EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_BACKBUFFER);
  ASSERT_EQ(primary->GetSurfaceDesc(&d), DD_OK);
  EXPECT_EQ(d.dwBackBufferCount, 1u);
  EXPECT_TRUE(d.ddsCaps.dwCaps & DDSCAPS_PRIMARYSURFACE);
  // A wrong size field is refused.
  d.dwSize = 108 + 1;
  EXPECT_EQ(primary->GetSurfaceDesc(&d), DDERR_INVALIDPARAMS);
  // Only one primary, and the chain cannot be duplicated.
  DDSURFACEDESC again = Desc();
  again.dwFlags = DDSD_CAPS;
  again.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  LPDIRECTDRAWSURFACE other = nullptr;
  EXPECT_EQ(dd->CreateSurface(&again, &other, nullptr), DDERR_PRIMARYSURFACEALREADYEXISTS);
  EXPECT_EQ(dd->DuplicateSurface(primary, &other), DDERR_CANTDUPLICATE);
  // Off-screen surfaces take the mode's format, or one asked for.
  LPDIRECTDRAWSURFACE plain = Offscreen(47, 47);
  plain->GetSurfaceDesc(&(d = Desc()));
  EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 16u);
  LPDIRECTDRAWSURFACE deep = Offscreen(4, 4, 0, 24);
  deep->GetSurfaceDesc(&(d = Desc()));
  EXPECT_EQ(d.ddpfPixelFormat.dwRGBBitCount, 24u);
  // The back buffer lives as long as its chain.
  EXPECT_EQ(back->Release(), 0u);
  EXPECT_EQ(back->IsLost(), DD_OK);
  EXPECT_EQ(primary->Release(), 0u);
  EXPECT_EQ(back->IsLost(), DDERR_INVALIDOBJECT);
}

TEST_F(DDrawTest, BadSurfaceRequestsAreRefused) {
  HWND hwnd = Window();
  DDSURFACEDESC d = Desc();
  d.dwFlags = DDSD_CAPS;
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
  LPDIRECTDRAWSURFACE s = nullptr;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_NOCOOPERATIVELEVELSET);
  ASSERT_EQ(dd->SetCooperativeLevel(hwnd, DDSCL_NORMAL), DD_OK);
  d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
  d.dwFlags |= DDSD_BACKBUFFERCOUNT;
  d.dwBackBufferCount = 1;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_NOEXCLUSIVEMODE);
  d = Desc();
  d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  d.dwWidth = 0;
  d.dwHeight = 5;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
  d.dwWidth = 0x7FFFFFFF;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_TOOBIGWIDTH);
  d.dwWidth = 5;
  d.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY | DDSCAPS_VIDEOMEMORY;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDCAPS);
  d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
  d.dwFlags |= DDSD_PIXELFORMAT;
  d.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  d.ddpfPixelFormat.dwFlags = DDPF_RGB;
  d.ddpfPixelFormat.dwRGBBitCount = 16;
  d.ddpfPixelFormat.dwRBitMask = 0xFF00;  // overlaps green
  d.ddpfPixelFormat.dwGBitMask = 0x0FF0;
  d.ddpfPixelFormat.dwBBitMask = 0x000F;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPIXELFORMAT);
  d.dwSize = 108;
  EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_INVALIDPARAMS);
  EXPECT_EQ(s, nullptr);
}
