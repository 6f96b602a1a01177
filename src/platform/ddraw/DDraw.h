#pragma once
// A software display service in the platform's own shape: a display object, surfaces,
// palettes and clippers with reference counts, their records in the platform's field
// order, and the documented numeric values of its flags and result codes.
//
// The objects are reached through pointers the service hands out, as on the platform.
// Their methods are not virtual and look the object up in the service's table before
// touching it, so a call on an object that was released (or never made, or null) answers
// DDERR_INVALIDOBJECT instead of crashing.
//
// Everything here belongs to the one user-interface thread.
#include <cstdint>
#include <vector>

#include "platform/WinTypes.h"
#include "platform/gdi/Gdi.h"
#include "platform/window/Window.h"

// ---------------------------------------------------------------------------------------
// Result codes.
constexpr HRESULT MakeDDResult(uint32_t code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr HRESULT DD_OK = 0;
constexpr HRESULT DD_FALSE = 1;
constexpr HRESULT DDERR_ALREADYINITIALIZED = MakeDDResult(5);
constexpr HRESULT DDERR_CANNOTATTACHSURFACE = MakeDDResult(10);
constexpr HRESULT DDERR_CANNOTDETACHSURFACE = MakeDDResult(20);
constexpr HRESULT DDERR_CURRENTLYNOTAVAIL = MakeDDResult(40);
constexpr HRESULT DDERR_EXCEPTION = MakeDDResult(55);
constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);  // E_FAIL
constexpr HRESULT DDERR_INVALIDCAPS = MakeDDResult(100);
constexpr HRESULT DDERR_INVALIDCLIPLIST = MakeDDResult(110);
constexpr HRESULT DDERR_INVALIDMODE = MakeDDResult(120);
constexpr HRESULT DDERR_INVALIDOBJECT = MakeDDResult(130);
constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);  // E_INVALIDARG
constexpr HRESULT DDERR_INVALIDPIXELFORMAT = MakeDDResult(145);
constexpr HRESULT DDERR_INVALIDRECT = MakeDDResult(150);
constexpr HRESULT DDERR_LOCKEDSURFACES = MakeDDResult(160);
constexpr HRESULT DDERR_NOCLIPLIST = MakeDDResult(205);
constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MakeDDResult(212);
constexpr HRESULT DDERR_NOCOLORKEY = MakeDDResult(215);
constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDDResult(225);
constexpr HRESULT DDERR_NOFLIPHW = MakeDDResult(230);
constexpr HRESULT DDERR_NOTFOUND = MakeDDResult(255);
constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);  // E_OUTOFMEMORY
constexpr HRESULT DDERR_OUTOFVIDEOMEMORY = MakeDDResult(380);
constexpr HRESULT DDERR_PALETTEBUSY = MakeDDResult(387);
constexpr HRESULT DDERR_COLORKEYNOTSET = MakeDDResult(400);
constexpr HRESULT DDERR_SURFACEALREADYATTACHED = MakeDDResult(410);
constexpr HRESULT DDERR_SURFACEBUSY = MakeDDResult(430);
constexpr HRESULT DDERR_CANTLOCKSURFACE = MakeDDResult(435);
constexpr HRESULT DDERR_SURFACELOST = MakeDDResult(450);  // 0x887601C2
constexpr HRESULT DDERR_SURFACENOTATTACHED = MakeDDResult(460);
constexpr HRESULT DDERR_TOOBIGHEIGHT = MakeDDResult(470);
constexpr HRESULT DDERR_TOOBIGSIZE = MakeDDResult(480);
constexpr HRESULT DDERR_TOOBIGWIDTH = MakeDDResult(490);
constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);  // E_NOTIMPL
constexpr HRESULT DDERR_UNSUPPORTEDFORMAT = MakeDDResult(510);
constexpr HRESULT DDERR_VERTICALBLANKINPROGRESS = MakeDDResult(537);
constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDDResult(540);
constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDDResult(561);
constexpr HRESULT DDERR_DIRECTDRAWALREADYCREATED = MakeDDResult(562);
constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDDResult(564);
constexpr HRESULT DDERR_CLIPPERISUSINGHWND = MakeDDResult(567);
constexpr HRESULT DDERR_NOCLIPPERATTACHED = MakeDDResult(568);
constexpr HRESULT DDERR_NOHWND = MakeDDResult(569);
constexpr HRESULT DDERR_HWNDALREADYSET = MakeDDResult(571);
constexpr HRESULT DDERR_NOPALETTEATTACHED = MakeDDResult(572);
constexpr HRESULT DDERR_BLTFASTCANTCLIP = MakeDDResult(574);  // 0x8876023E
constexpr HRESULT DDERR_EXCLUSIVEMODEALREADYSET = MakeDDResult(581);
constexpr HRESULT DDERR_NOTFLIPPABLE = MakeDDResult(582);
constexpr HRESULT DDERR_CANTDUPLICATE = MakeDDResult(583);
constexpr HRESULT DDERR_NOTLOCKED = MakeDDResult(584);
constexpr HRESULT DDERR_CANTCREATEDC = MakeDDResult(585);
constexpr HRESULT DDERR_NODC = MakeDDResult(586);
constexpr HRESULT DDERR_WRONGMODE = MakeDDResult(587);
constexpr HRESULT DDERR_IMPLICITLYCREATED = MakeDDResult(588);
constexpr HRESULT DDERR_NOTPALETTIZED = MakeDDResult(589);
constexpr HRESULT DDERR_UNSUPPORTEDMODE = MakeDDResult(590);
constexpr HRESULT DDERR_DCALREADYCREATED = MakeDDResult(620);
constexpr HRESULT DDERR_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

// ---------------------------------------------------------------------------------------
// Flags.

// SetCooperativeLevel.
constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
constexpr DWORD DDSCL_NORMAL = 0x00000008;
constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
constexpr DWORD DDSCL_ALLOWMODEX = 0x00000040;

// Surface capabilities (DDSCAPS.dwCaps).
constexpr DWORD DDSCAPS_ALPHA = 0x00000002;
constexpr DWORD DDSCAPS_BACKBUFFER = 0x00000004;
constexpr DWORD DDSCAPS_COMPLEX = 0x00000008;
constexpr DWORD DDSCAPS_FLIP = 0x00000010;
constexpr DWORD DDSCAPS_FRONTBUFFER = 0x00000020;
constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
constexpr DWORD DDSCAPS_OVERLAY = 0x00000080;
constexpr DWORD DDSCAPS_PALETTE = 0x00000100;
constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
constexpr DWORD DDSCAPS_TEXTURE = 0x00001000;
constexpr DWORD DDSCAPS_3DDEVICE = 0x00002000;
constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;
constexpr DWORD DDSCAPS_VISIBLE = 0x00008000;
constexpr DWORD DDSCAPS_WRITEONLY = 0x00010000;
constexpr DWORD DDSCAPS_ZBUFFER = 0x00020000;
constexpr DWORD DDSCAPS_OWNDC = 0x00040000;
constexpr DWORD DDSCAPS_MODEX = 0x00200000;
constexpr DWORD DDSCAPS_LOCALVIDMEM = 0x10000000;

// Surface description fields in use (DDSURFACEDESC.dwFlags).
constexpr DWORD DDSD_CAPS = 0x00000001;
constexpr DWORD DDSD_HEIGHT = 0x00000002;
constexpr DWORD DDSD_WIDTH = 0x00000004;
constexpr DWORD DDSD_PITCH = 0x00000008;
constexpr DWORD DDSD_BACKBUFFERCOUNT = 0x00000020;
constexpr DWORD DDSD_ZBUFFERBITDEPTH = 0x00000040;
constexpr DWORD DDSD_ALPHABITDEPTH = 0x00000080;
constexpr DWORD DDSD_LPSURFACE = 0x00000800;
constexpr DWORD DDSD_PIXELFORMAT = 0x00001000;
constexpr DWORD DDSD_CKDESTOVERLAY = 0x00002000;
constexpr DWORD DDSD_CKDESTBLT = 0x00004000;
constexpr DWORD DDSD_CKSRCOVERLAY = 0x00008000;
constexpr DWORD DDSD_CKSRCBLT = 0x00010000;
constexpr DWORD DDSD_MIPMAPCOUNT = 0x00020000;
constexpr DWORD DDSD_REFRESHRATE = 0x00040000;
constexpr DWORD DDSD_LINEARSIZE = 0x00080000;
constexpr DWORD DDSD_ALL = 0x000FF9EE;

// Pixel format flags (DDPIXELFORMAT.dwFlags).
constexpr DWORD DDPF_ALPHAPIXELS = 0x00000001;
constexpr DWORD DDPF_ALPHA = 0x00000002;
constexpr DWORD DDPF_FOURCC = 0x00000004;
constexpr DWORD DDPF_PALETTEINDEXED4 = 0x00000008;
constexpr DWORD DDPF_PALETTEINDEXEDTO8 = 0x00000010;
constexpr DWORD DDPF_PALETTEINDEXED8 = 0x00000020;
constexpr DWORD DDPF_RGB = 0x00000040;
constexpr DWORD DDPF_PALETTEINDEXED1 = 0x00000800;
constexpr DWORD DDPF_PALETTEINDEXED2 = 0x00001000;

// Blt.
constexpr DWORD DDBLT_ALPHADEST = 0x00000001;
constexpr DWORD DDBLT_ASYNC = 0x00000200;
constexpr DWORD DDBLT_COLORFILL = 0x00000400;
constexpr DWORD DDBLT_DDFX = 0x00000800;
constexpr DWORD DDBLT_DDROPS = 0x00001000;
constexpr DWORD DDBLT_KEYDEST = 0x00002000;
constexpr DWORD DDBLT_KEYDESTOVERRIDE = 0x00004000;
constexpr DWORD DDBLT_KEYSRC = 0x00008000;
constexpr DWORD DDBLT_KEYSRCOVERRIDE = 0x00010000;
constexpr DWORD DDBLT_ROP = 0x00020000;
constexpr DWORD DDBLT_ROTATIONANGLE = 0x00040000;
constexpr DWORD DDBLT_ZBUFFER = 0x00080000;
constexpr DWORD DDBLT_WAIT = 0x01000000;
constexpr DWORD DDBLT_DEPTHFILL = 0x02000000;

// BltFast.
constexpr DWORD DDBLTFAST_NOCOLORKEY = 0x00000000;
constexpr DWORD DDBLTFAST_SRCCOLORKEY = 0x00000001;
constexpr DWORD DDBLTFAST_DESTCOLORKEY = 0x00000002;
constexpr DWORD DDBLTFAST_WAIT = 0x00000010;

// Colour keys (SetColorKey / GetColorKey).
constexpr DWORD DDCKEY_COLORSPACE = 0x00000001;
constexpr DWORD DDCKEY_DESTBLT = 0x00000002;
constexpr DWORD DDCKEY_DESTOVERLAY = 0x00000004;
constexpr DWORD DDCKEY_SRCBLT = 0x00000008;
constexpr DWORD DDCKEY_SRCOVERLAY = 0x00000010;

// Lock.
constexpr DWORD DDLOCK_SURFACEMEMORYPTR = 0x00000000;
constexpr DWORD DDLOCK_WAIT = 0x00000001;
constexpr DWORD DDLOCK_EVENT = 0x00000002;
constexpr DWORD DDLOCK_READONLY = 0x00000010;
constexpr DWORD DDLOCK_WRITEONLY = 0x00000020;
constexpr DWORD DDLOCK_NOSYSLOCK = 0x00000800;

// Flip.
constexpr DWORD DDFLIP_WAIT = 0x00000001;
constexpr DWORD DDFLIP_EVEN = 0x00000002;
constexpr DWORD DDFLIP_ODD = 0x00000004;

// WaitForVerticalBlank.
constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x00000001;
constexpr DWORD DDWAITVB_BLOCKBEGINEVENT = 0x00000002;
constexpr DWORD DDWAITVB_BLOCKEND = 0x00000004;

// Palette capabilities (CreatePalette).
constexpr DWORD DDPCAPS_4BIT = 0x00000001;
constexpr DWORD DDPCAPS_8BITENTRIES = 0x00000002;
constexpr DWORD DDPCAPS_8BIT = 0x00000004;
constexpr DWORD DDPCAPS_INITIALIZE = 0x00000008;
constexpr DWORD DDPCAPS_PRIMARYSURFACE = 0x00000010;
constexpr DWORD DDPCAPS_PRIMARYSURFACELEFT = 0x00000020;
constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;
constexpr DWORD DDPCAPS_VSYNC = 0x00000080;
constexpr DWORD DDPCAPS_1BIT = 0x00000100;
constexpr DWORD DDPCAPS_2BIT = 0x00000200;

// EnumDisplayModes.
constexpr DWORD DDEDM_REFRESHRATES = 0x00000001;
constexpr DWORD DDEDM_STANDARDVGAMODES = 0x00000002;
constexpr HRESULT DDENUMRET_CANCEL = 0;
constexpr HRESULT DDENUMRET_OK = 1;

// Driver capabilities (DDCAPS.dwCaps, dwCKeyCaps, dwPalCaps).
constexpr DWORD DDCAPS_BLT = 0x00000040;
constexpr DWORD DDCAPS_BLTSTRETCH = 0x00000200;
constexpr DWORD DDCAPS_GDI = 0x00000400;
constexpr DWORD DDCAPS_PALETTE = 0x00008000;
constexpr DWORD DDCAPS_PALETTEVSYNC = 0x00010000;
constexpr DWORD DDCAPS_COLORKEY = 0x00400000;
constexpr DWORD DDCAPS_NOHARDWARE = 0x02000000;
constexpr DWORD DDCAPS_BLTCOLORFILL = 0x04000000;
constexpr DWORD DDCAPS_CANCLIP = 0x20000000;
constexpr DWORD DDCAPS_CANCLIPSTRETCHED = 0x40000000;
constexpr DWORD DDCAPS_CANBLTSYSMEM = 0x80000000;
constexpr DWORD DDCKEYCAPS_SRCBLT = 0x00000200;

// ---------------------------------------------------------------------------------------
// Records, in the platform's field order. The size field of each must hold sizeof of the
// record given; a record with a wrong size is refused with DDERR_INVALIDPARAMS.

struct DDCOLORKEY {
  DWORD dwColorSpaceLowValue;
  DWORD dwColorSpaceHighValue;
};

struct DDSCAPS {
  DWORD dwCaps;
};

struct DDPIXELFORMAT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwFourCC;
  union {
    DWORD dwRGBBitCount;
    DWORD dwYUVBitCount;
    DWORD dwZBufferBitDepth;
    DWORD dwAlphaBitDepth;
  };
  union {
    DWORD dwRBitMask;
    DWORD dwYBitMask;
  };
  union {
    DWORD dwGBitMask;
    DWORD dwUBitMask;
  };
  union {
    DWORD dwBBitMask;
    DWORD dwVBitMask;
  };
  union {
    DWORD dwRGBAlphaBitMask;
    DWORD dwYUVAlphaBitMask;
  };
};
static_assert(sizeof(DDPIXELFORMAT) == 32);

// On the platform's 32-bit layout this is 108 bytes; here lpSurface is a full pointer, so
// the record is larger and dwSize must be sizeof(DDSURFACEDESC).
struct DDSURFACEDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwHeight;
  DWORD dwWidth;
  union {
    LONG lPitch;
    DWORD dwLinearSize;
  };
  DWORD dwBackBufferCount;
  union {
    DWORD dwMipMapCount;
    DWORD dwZBufferBitDepth;
    DWORD dwRefreshRate;
  };
  DWORD dwAlphaBitDepth;
  DWORD dwReserved;
  void* lpSurface;
  DDCOLORKEY ddckCKDestOverlay;
  DDCOLORKEY ddckCKDestBlt;
  DDCOLORKEY ddckCKSrcOverlay;
  DDCOLORKEY ddckCKSrcBlt;
  DDPIXELFORMAT ddpfPixelFormat;
  DDSCAPS ddsCaps;
};

// The platform's blit effects record. Its pointer alternatives (z-buffer, alpha and
// pattern surfaces) are for features this service does not have, so only the DWORD side
// of each union is kept and the record stays the platform's 100 bytes.
struct DDBLTFX {
  DWORD dwSize;
  DWORD dwDDFX;
  DWORD dwROP;
  DWORD dwDDROP;
  DWORD dwRotationAngle;
  DWORD dwZBufferOpCode;
  DWORD dwZBufferLow;
  DWORD dwZBufferHigh;
  DWORD dwZBufferBaseDest;
  DWORD dwZDestConstBitDepth;
  DWORD dwZDestConst;
  DWORD dwZSrcConstBitDepth;
  DWORD dwZSrcConst;
  DWORD dwAlphaEdgeBlendBitDepth;
  DWORD dwAlphaEdgeBlend;
  DWORD dwReserved;
  DWORD dwAlphaDestConstBitDepth;
  DWORD dwAlphaDestConst;
  DWORD dwAlphaSrcConstBitDepth;
  DWORD dwAlphaSrcConst;
  union {
    DWORD dwFillColor;
    DWORD dwFillDepth;
    DWORD dwFillPixel;
  };
  DDCOLORKEY ddckDestColorkey;
  DDCOLORKEY ddckSrcColorkey;
};
static_assert(sizeof(DDBLTFX) == 100);

// The driver capability record, 364 bytes as on the platform.
struct DDCAPS {
  DWORD dwSize;
  DWORD dwCaps;
  DWORD dwCaps2;
  DWORD dwCKeyCaps;
  DWORD dwFXCaps;
  DWORD dwFXAlphaCaps;
  DWORD dwPalCaps;
  DWORD dwSVCaps;
  DWORD dwAlphaBltConstBitDepths;
  DWORD dwAlphaBltPixelBitDepths;
  DWORD dwAlphaBltSurfaceBitDepths;
  DWORD dwAlphaOverlayConstBitDepths;
  DWORD dwAlphaOverlayPixelBitDepths;
  DWORD dwAlphaOverlaySurfaceBitDepths;
  DWORD dwZBufferBitDepths;
  DWORD dwVidMemTotal;
  DWORD dwVidMemFree;
  DWORD dwMaxVisibleOverlays;
  DWORD dwCurrVisibleOverlays;
  DWORD dwNumFourCCCodes;
  DWORD dwAlignBoundarySrc;
  DWORD dwAlignSizeSrc;
  DWORD dwAlignBoundaryDest;
  DWORD dwAlignSizeDest;
  DWORD dwAlignStrideAlign;
  DWORD dwRops[8];
  DDSCAPS ddsOldCaps;
  DWORD dwMinOverlayStretch;
  DWORD dwMaxOverlayStretch;
  DWORD dwMinLiveVideoStretch;
  DWORD dwMaxLiveVideoStretch;
  DWORD dwMinHwCodecStretch;
  DWORD dwMaxHwCodecStretch;
  DWORD dwReserved1;
  DWORD dwReserved2;
  DWORD dwReserved3;
  DWORD dwSVBCaps;
  DWORD dwSVBCKeyCaps;
  DWORD dwSVBFXCaps;
  DWORD dwSVBRops[8];
  DWORD dwVSBCaps;
  DWORD dwVSBCKeyCaps;
  DWORD dwVSBFXCaps;
  DWORD dwVSBRops[8];
  DWORD dwSSBCaps;
  DWORD dwSSBCKeyCaps;
  DWORD dwSSBFXCaps;
  DWORD dwSSBRops[8];
  DWORD dwMaxVideoPorts;
  DWORD dwCurrVideoPorts;
  DWORD dwSVBCaps2;
  DWORD dwNLVBCaps;
  DWORD dwNLVBCaps2;
  DWORD dwNLVBCKeyCaps;
  DWORD dwNLVBFXCaps;
  DWORD dwNLVBRops[8];
};
static_assert(sizeof(DDCAPS) == 364);

// PALETTEENTRY is the GDI's record (platform/gdi/Gdi.h).

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};

// ---------------------------------------------------------------------------------------
// The objects.

class IDirectDraw;
class IDirectDrawSurface;
class IDirectDrawPalette;
class IDirectDrawClipper;
using LPDIRECTDRAW = IDirectDraw*;
using LPDIRECTDRAWSURFACE = IDirectDrawSurface*;
using LPDIRECTDRAWPALETTE = IDirectDrawPalette*;
using LPDIRECTDRAWCLIPPER = IDirectDrawClipper*;
using LPDDSURFACEDESC = DDSURFACEDESC*;
using LPDDSCAPS = DDSCAPS*;
using LPDDCAPS = DDCAPS*;
using LPDDBLTFX = DDBLTFX*;
using LPDDCOLORKEY = DDCOLORKEY*;
using LPDDPIXELFORMAT = DDPIXELFORMAT*;
using LPPALETTEENTRY = PALETTEENTRY*;
using LPRECT = RECT*;
using LPDDENUMMODESCALLBACK = HRESULT (*)(LPDDSURFACEDESC desc, void* context);

// The display object: cooperative level, modes, and the maker of surfaces, palettes and
// clippers. Releasing its last reference releases everything made on it (further calls
// on those answer DDERR_INVALIDOBJECT), ends the exclusive level and gives the program
// back the monitor's own screen size.
class IDirectDraw {
 public:
  ULONG AddRef();
  ULONG Release();
  HRESULT GetCaps(LPDDCAPS driverCaps, LPDDCAPS emulationCaps);
  HRESULT SetCooperativeLevel(HWND hwnd, DWORD flags);
  HRESULT EnumDisplayModes(DWORD flags, LPDDSURFACEDESC filter, void* context, LPDDENUMMODESCALLBACK callback);
  HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitCount);
  HRESULT RestoreDisplayMode();
  HRESULT GetDisplayMode(LPDDSURFACEDESC desc);
  HRESULT CreateSurface(LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface, void* unkOuter = nullptr);
  HRESULT CreatePalette(DWORD flags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* palette, void* unkOuter = nullptr);
  HRESULT CreateClipper(DWORD flags, LPDIRECTDRAWCLIPPER* clipper, void* unkOuter = nullptr);
  HRESULT DuplicateSurface(LPDIRECTDRAWSURFACE source, LPDIRECTDRAWSURFACE* copy);
  HRESULT FlipToGDISurface();
  HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event);
  HRESULT GetVerticalBlankStatus(BOOL* inBlank);

 protected:
  IDirectDraw() = default;
  ~IDirectDraw() = default;
};

class IDirectDrawSurface {
 public:
  ULONG AddRef();
  ULONG Release();
  HRESULT Blt(LPRECT destRect, LPDIRECTDRAWSURFACE source, LPRECT sourceRect, DWORD flags, LPDDBLTFX fx);
  HRESULT BltFast(DWORD x, DWORD y, LPDIRECTDRAWSURFACE source, LPRECT sourceRect, DWORD flags);
  HRESULT Flip(LPDIRECTDRAWSURFACE override, DWORD flags);
  HRESULT GetAttachedSurface(LPDDSCAPS caps, LPDIRECTDRAWSURFACE* attached);
  HRESULT GetCaps(LPDDSCAPS caps);
  HRESULT GetClipper(LPDIRECTDRAWCLIPPER* clipper);
  HRESULT SetClipper(LPDIRECTDRAWCLIPPER clipper);
  HRESULT GetColorKey(DWORD flags, LPDDCOLORKEY key);
  HRESULT SetColorKey(DWORD flags, LPDDCOLORKEY key);
  HRESULT GetDC(HDC* dc);
  HRESULT ReleaseDC(HDC dc);
  HRESULT GetPalette(LPDIRECTDRAWPALETTE* palette);
  HRESULT SetPalette(LPDIRECTDRAWPALETTE palette);
  HRESULT GetPixelFormat(LPDDPIXELFORMAT format);
  HRESULT GetSurfaceDesc(LPDDSURFACEDESC desc);
  HRESULT IsLost();
  HRESULT Restore();
  // The whole surface when rect is null. Locks do not nest.
  HRESULT Lock(LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event);
  HRESULT Unlock(void* data);
  HRESULT GetBltStatus(DWORD flags);
  HRESULT GetFlipStatus(DWORD flags);

 protected:
  IDirectDrawSurface() = default;
  ~IDirectDrawSurface() = default;
};

class IDirectDrawPalette {
 public:
  ULONG AddRef();
  ULONG Release();
  HRESULT GetCaps(DWORD* caps);
  HRESULT GetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY entries);
  HRESULT SetEntries(DWORD flags, DWORD start, DWORD count, LPPALETTEENTRY entries);

 protected:
  IDirectDrawPalette() = default;
  ~IDirectDrawPalette() = default;
};

class IDirectDrawClipper {
 public:
  ULONG AddRef();
  ULONG Release();
  HRESULT GetHWnd(HWND* hwnd);
  HRESULT SetHWnd(DWORD flags, HWND hwnd);

 protected:
  IDirectDrawClipper() = default;
  ~IDirectDrawClipper() = default;
};

// The entry point. guid must be null (the one display driver); anything else answers
// DDERR_INVALIDDIRECTDRAWGUID. outer must be null.
HRESULT DirectDrawCreate(GUID* guid, LPDIRECTDRAW* directDraw, void* unkOuter);
using LPDIRECTDRAWCREATE = HRESULT (*)(GUID*, LPDIRECTDRAW*, void*);

// ---------------------------------------------------------------------------------------
// Ours, for tests and benchmarks: the service's settings. Each holds until changed; a
// test that changes one sets it back with ResetDirectDrawSettings.
namespace ddraw {

struct DisplayMode {
  int width = 0;
  int height = 0;
  int bitCount = 0;
};

// The video memory every display object shares, in bytes (default 32 MiB). Primary
// chains and off-screen surfaces asked in video memory take from it; a surface that does
// not fit fails with DDERR_OUTOFVIDEOMEMORY.
void SetVideoMemory(DWORD bytes);
DWORD VideoMemoryFree();
// The mode list EnumDisplayModes reports and SetDisplayMode accepts; by default the
// classic sizes that fit the screen plus the screen's own, at 8, 16 and 32 bits.
void SetDisplayModes(const std::vector<DisplayMode>& modes);
std::vector<DisplayMode> DisplayModes();
void ResetDirectDrawSettings();
// The number of display objects, surfaces, palettes and clippers alive (leak checks).
int LiveObjectCount();

}  // namespace ddraw
