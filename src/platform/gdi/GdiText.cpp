// Fonts and text, rendered with FreeType through fontconfig. A logical font is realized
// once per (face, size, weight, slant, rendering) and its glyphs are kept, so a caption
// drawn every frame costs only the blending.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/gdi/GdiInternal.h"

namespace gdi {
namespace {

struct Glyph {
  bool loaded = false;
  int width = 0, height = 0, left = 0, top = 0, advance = 0;
  std::vector<uint8_t> coverage;  // 0..255, width x height
};

struct Realized {
  FT_Face face = nullptr;
  bool mono = false;
  bool boldSynth = false;
  bool italicSynth = false;
  bool underline = false;
  bool strikeOut = false;
  int em = 0;
  int underlinePos = 0, underlineThickness = 1;
  TEXTMETRICA tm{};
  Glyph glyphs[256];
  ~Realized() {
    if (face) FT_Done_Face(face);
  }
};

struct FontFile {
  std::string path;
  int index = 0;
  bool bold = false;
  bool italic = false;
};

struct TextState {
  FT_Library library = nullptr;
  bool failed = false;
  bool fontconfig = false;
  std::map<std::string, FontFile> files;
  std::map<std::string, std::unique_ptr<Realized>> realized;
};

TextState& Text() {
  static TextState* state = [] {
    auto* s = new TextState;
    if (FT_Init_FreeType(&s->library) != 0) s->failed = true;
    // fontconfig keeps its configuration for the life of the process; hand it back at
    // exit so leak checkers see a clean finish.
    s->fontconfig = FcInit() == FcTrue;
    if (s->fontconfig) std::atexit(FcFini);
    return s;
  }();
  return *state;
}

std::string Lower(const char* s) {
  std::string out;
  for (; *s; ++s) out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(*s))));
  return out;
}

// The classic face names, mapped to installed faces of the same kind: metric-compatible
// Liberation faces first, DejaVu when they are missing.
std::vector<std::string> FamiliesFor(const LOGFONTA& lf) {
  static const std::vector<std::string> sans = {"Liberation Sans", "DejaVu Sans"};
  static const std::vector<std::string> serif = {"Liberation Serif", "DejaVu Serif"};
  static const std::vector<std::string> mono = {"Liberation Mono", "DejaVu Sans Mono"};
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  std::string name = Lower(face);
  static const char* sansNames[] = {"ms sans serif", "microsoft sans serif", "ms shell dlg", "ms shell dlg 2",
                                    "arial",         "tahoma",               "system",       "verdana",
                                    "segoe ui",      "helvetica",            "small fonts",  "arial narrow"};
  static const char* serifNames[] = {"times new roman", "ms serif", "times", "georgia", "roman"};
  static const char* monoNames[] = {"courier new", "courier", "fixedsys", "terminal", "lucida console", "consolas"};
  for (const char* n : sansNames)
    if (name == n) return sans;
  for (const char* n : serifNames)
    if (name == n) return serif;
  for (const char* n : monoNames)
    if (name == n) return mono;
  if (name.empty()) {
    int family = lf.lfPitchAndFamily & 0xF0;
    if ((lf.lfPitchAndFamily & 0x03) == 1 || family == 0x30) return mono;
    if (family == 0x10) return serif;
    return sans;
  }
  std::vector<std::string> out = {face};
  out.insert(out.end(), sans.begin(), sans.end());
  return out;
}

bool FindFile(const std::vector<std::string>& families, bool bold, bool italic, FontFile& file) {
  TextState& t = Text();
  std::string key;
  for (const std::string& f : families) key += f + ";";
  key += bold ? "b" : "r";
  key += italic ? "i" : "u";
  auto it = t.files.find(key);
  if (it != t.files.end()) {
    file = it->second;
    return !file.path.empty();
  }
  FontFile found;
  if (t.fontconfig) {
    FcPattern* pattern = FcPatternCreate();
    for (const std::string& f : families)
      FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.c_str()));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_OUTLINE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    if (match) {
      FcChar8* path = nullptr;
      int index = 0, weight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
      if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path) {
        found.path = reinterpret_cast<const char*>(path);
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        found.index = index;
        found.bold = weight >= FC_WEIGHT_DEMIBOLD;
        found.italic = slant != FC_SLANT_ROMAN;
      }
      FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
  }
  t.files[key] = found;
  file = found;
  return !found.path.empty();
}

// Windows-1252: the bytes 0x80-0x9F name typographic characters; the rest are Latin-1.
FT_ULong CodePoint(unsigned char c) {
  static const uint16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return c >= 0x80 && c < 0xA0 ? high[c - 0x80] : c;
}

// Hinting can leave blank columns at the sides of a glyph's bitmap; without them the
// glyph's left and width say exactly where its ink is.
void TrimBlankColumns(Glyph& g) {
  int first = g.width, last = -1;
  for (int y = 0; y < g.height; ++y) {
    const uint8_t* row = g.coverage.data() + static_cast<size_t>(y) * g.width;
    for (int x = 0; x < g.width; ++x) {
      if (row[x] == 0) continue;
      first = std::min(first, x);
      last = std::max(last, x);
    }
  }
  if (first == 0 && last == g.width - 1) return;
  const int width = last < first ? 0 : last - first + 1;
  std::vector<uint8_t> kept(static_cast<size_t>(width) * static_cast<size_t>(g.height));
  for (int y = 0; y < g.height && width > 0; ++y)
    std::copy_n(g.coverage.begin() + static_cast<ptrdiff_t>(y) * g.width + first, width,
                kept.begin() + static_cast<ptrdiff_t>(y) * width);
  g.coverage = std::move(kept);
  g.left += width > 0 ? first : 0;
  g.width = width;
  if (width == 0) g.height = 0;
}

const Glyph& GlyphFor(Realized& r, unsigned char c) {
  Glyph& g = r.glyphs[c];
  if (g.loaded) return g;
  g.loaded = true;
  FT_UInt index = FT_Get_Char_Index(r.face, CodePoint(c));
  // Crisp and smooth text share one outline, hinted lightly: the advances are then the
  // same whatever the target's depth, so text measured on one device context and drawn
  // on another takes the same room (full hinting for crisp text moved advances by a
  // pixel either way, and a label sized on a memory DC lost its last narrow glyphs).
  if (FT_Load_Glyph(r.face, index, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT) != 0) return g;
  FT_GlyphSlot slot = r.face->glyph;
  if (r.boldSynth) FT_GlyphSlot_Embolden(slot);
  if (r.italicSynth) FT_GlyphSlot_Oblique(slot);
  g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
  if (FT_Render_Glyph(slot, r.mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return g;
  const FT_Bitmap& bm = slot->bitmap;
  g.width = static_cast<int>(bm.width);
  g.height = static_cast<int>(bm.rows);
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.coverage.assign(static_cast<size_t>(g.width) * static_cast<size_t>(g.height), 0);
  for (int y = 0; y < g.height; ++y) {
    const uint8_t* row = bm.buffer + static_cast<ptrdiff_t>(y) * bm.pitch;
    for (int x = 0; x < g.width; ++x) {
      uint8_t v;
      if (bm.pixel_mode == FT_PIXEL_MODE_MONO) {
        v = ((row[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
      } else {
        v = row[x];
      }
      g.coverage[static_cast<size_t>(y) * g.width + x] = v;
    }
  }
  TrimBlankColumns(g);
  return g;
}

int Scale(long units, int em, int unitsPerEm) {
  return static_cast<int>(std::lround(static_cast<double>(units) * em / unitsPerEm));
}

Realized* Realize(const LOGFONTA& lf, bool mono) {
  TextState& t = Text();
  if (t.failed) return nullptr;
  bool bold = lf.lfWeight >= 600;
  bool italic = lf.lfItalic != 0;
  mono = mono || lf.lfQuality == NONANTIALIASED_QUALITY;
  char face[LF_FACESIZE + 1] = {};
  std::memcpy(face, lf.lfFaceName, LF_FACESIZE);
  std::string key = std::string(face) + "|" + std::to_string(lf.lfHeight) + "|" + std::to_string(lf.lfWidth) +
                    "|" + (bold ? "b" : "r") + (italic ? "i" : "u") + (mono ? "m" : "a") +
                    (lf.lfUnderline ? "U" : "") + (lf.lfStrikeOut ? "S" : "") +
                    std::to_string(lf.lfPitchAndFamily);
  auto it = t.realized.find(key);
  if (it != t.realized.end()) return it->second.get();
  if (t.realized.size() >= 64) t.realized.clear();  // nothing outside this call keeps one

  FontFile file;
  if (!FindFile(FamiliesFor(lf), bold, italic, file)) return nullptr;
  auto r = std::make_unique<Realized>();
  if (FT_New_Face(t.library, file.path.c_str(), file.index, &r->face) != 0) {
    r->face = nullptr;
    return nullptr;
  }
  FT_Face f = r->face;
  r->mono = mono;
  r->boldSynth = bold && !file.bold;
  r->italicSynth = italic && !file.italic;
  r->underline = lf.lfUnderline != 0;
  r->strikeOut = lf.lfStrikeOut != 0;
  int upem = f->units_per_EM ? f->units_per_EM : 2048;
  long ascender = f->ascender, descender = -f->descender;
  long avgWidth = 0, lineGap = f->height - f->ascender + f->descender;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2))) {
    if (os2->usWinAscent + os2->usWinDescent > 0) {
      ascender = os2->usWinAscent;
      descender = os2->usWinDescent;
    }
    avgWidth = os2->xAvgCharWidth;
  }
  // A negative height is the character height (the em), a positive one the whole cell.
  int cell = 0;
  if (lf.lfHeight < 0) {
    r->em = static_cast<int>(std::min<LONG>(-lf.lfHeight, 2048));
  } else {
    cell = lf.lfHeight == 0 ? 16 : static_cast<int>(std::min<LONG>(lf.lfHeight, 2048));
    r->em = std::max(1, static_cast<int>(std::lround(static_cast<double>(cell) * upem / (ascender + descender))));
  }
  FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(std::max(1, r->em)));
  TEXTMETRICA& tm = r->tm;
  tm.tmAscent = Scale(ascender, r->em, upem);
  tm.tmDescent = cell > 0 ? cell - tm.tmAscent : Scale(descender, r->em, upem);
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - r->em);
  tm.tmExternalLeading = std::max(0, Scale(lineGap, r->em, upem));
  tm.tmAveCharWidth = avgWidth > 0 ? Scale(avgWidth, r->em, upem) : GlyphFor(*r, 'x').advance;
  tm.tmMaxCharWidth = Scale(f->max_advance_width, r->em, upem);
  tm.tmWeight = lf.lfWeight ? lf.lfWeight : FW_NORMAL;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 0x20;
  tm.tmLastChar = 0xFF;
  tm.tmDefaultChar = 0x1F;
  tm.tmBreakChar = 0x20;
  tm.tmItalic = italic ? 1 : 0;
  tm.tmUnderlined = lf.lfUnderline ? 1 : 0;
  tm.tmStruckOut = lf.lfStrikeOut ? 1 : 0;
  bool fixed = FT_IS_FIXED_WIDTH(f);
  // TMPF_FIXED_PITCH set means variable pitch; outline, TrueType.
  tm.tmPitchAndFamily = static_cast<BYTE>((fixed ? 0 : 1) | 0x02 | 0x04 | (fixed ? 0x30 : 0x20));
  tm.tmCharSet = 0;
  r->underlinePos = std::max(1, -Scale(f->underline_position, r->em, upem));
  r->underlineThickness = std::max(1, Scale(f->underline_thickness, r->em, upem));
  Realized* out = r.get();
  t.realized[key] = std::move(r);
  return out;
}

// The DC's font, rendered crisp on targets of 8 bits or fewer and smooth on the others.
Realized* RealizeFor(Dc& dc, const Surface* s) {
  Font* font = GetFont(dc.st.font);
  if (!font) return nullptr;
  int bits = s ? s->bpp : 32;
  return Realize(font->lf, bits <= 8);
}

int ExtentOf(Realized& r, const char* text, int length) {
  int width = 0;
  for (int i = 0; i < length; ++i) width += GlyphFor(r, static_cast<unsigned char>(text[i])).advance;
  return width;
}

}  // namespace

void DeleteFontCache(Font*) {
  // Realized fonts are shared by every logical font with the same description and are
  // dropped as a whole when the cache fills, so there is nothing per font to free.
}

}  // namespace gdi

using namespace gdi;

HFONT CreateFontIndirectA(const LOGFONTA* font) {
  GDI_LOCK;
  if (!font) return nullptr;
  auto f = std::make_unique<Font>();
  f->lf = *font;
  f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
  return static_cast<HFONT>(InsertObject(std::move(f)));
}

HFONT CreateFontA(int height, int width, int escapement, int orientation, int weight, DWORD italic,
                  DWORD underline, DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                  DWORD quality, DWORD pitchAndFamily, const char* face) {
  LOGFONTA lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfEscapement = escapement;
  lf.lfOrientation = orientation;
  lf.lfWeight = weight;
  lf.lfItalic = static_cast<BYTE>(italic ? 1 : 0);
  lf.lfUnderline = static_cast<BYTE>(underline ? 1 : 0);
  lf.lfStrikeOut = static_cast<BYTE>(strikeOut ? 1 : 0);
  lf.lfCharSet = static_cast<BYTE>(charSet);
  lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
  lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
  lf.lfQuality = static_cast<BYTE>(quality);
  lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
  if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  return CreateFontIndirectA(&lf);
}

COLORREF SetTextColor(HDC h, COLORREF color) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->st.textColor;
  dc->st.textColor = color;
  return previous;
}

COLORREF GetTextColor(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  return dc ? dc->st.textColor : CLR_INVALID;
}

int SetBkMode(HDC h, int mode) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
  int previous = dc->st.bkMode;
  dc->st.bkMode = mode;
  return previous;
}

int GetBkMode(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  return dc ? dc->st.bkMode : 0;
}

COLORREF SetBkColor(HDC h, COLORREF color) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return CLR_INVALID;
  COLORREF previous = dc->st.bkColor;
  dc->st.bkColor = color;
  return previous;
}

COLORREF GetBkColor(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  return dc ? dc->st.bkColor : CLR_INVALID;
}

BOOL GetTextMetricsA(HDC h, TEXTMETRICA* metrics) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !metrics) return FALSE;
  Surface s;
  bool has = SurfaceOfDc(*dc, s);
  Realized* r = RealizeFor(*dc, has ? &s : nullptr);
  if (!r) return FALSE;
  *metrics = r->tm;
  return TRUE;
}

BOOL GetTextExtentPoint32A(HDC h, const char* text, int length, SIZE* size) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !size || length < 0 || (length > 0 && !text)) return FALSE;
  Surface s;
  bool has = SurfaceOfDc(*dc, s);
  Realized* r = RealizeFor(*dc, has ? &s : nullptr);
  if (!r) return FALSE;
  size->cx = ExtentOf(*r, text, length);
  size->cy = r->tm.tmHeight;
  return TRUE;
}

BOOL GetCharABCWidthsA(HDC h, UINT first, UINT last, ABC* widths) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc || !widths || first > last || last > 0xFF) return FALSE;
  Surface s;
  bool has = SurfaceOfDc(*dc, s);
  Realized* r = RealizeFor(*dc, has ? &s : nullptr);
  if (!r) return FALSE;
  for (UINT c = first; c <= last; ++c) {
    const Glyph& g = GlyphFor(*r, static_cast<unsigned char>(c));
    // A glyph without ink (a space) is all advance.
    const int a = g.width > 0 ? g.left : 0;
    widths[c - first] = ABC{a, static_cast<UINT>(g.width), g.advance - a - g.width};
  }
  return TRUE;
}

namespace {

BOOL DrawString(HDC h, int x, int y, UINT options, const RECT* rect, const char* text, int length, const INT* dx) {
  Dc* dc = GetDc(h);
  if (!dc || length < 0 || (length > 0 && !text)) return FALSE;
  Surface s;
  if (!SurfaceOfDc(*dc, s)) return FALSE;
  Realized* r = RealizeFor(*dc, &s);
  if (!r) return FALSE;
  RECT clip = DeviceClip(*dc, s);
  int ox = dc->st.origin.x, oy = dc->st.origin.y;
  Format f(s);
  RECT box{};
  if (rect)
    box = RECT{ClampCoord(int64_t{rect->left} + ox), ClampCoord(int64_t{rect->top} + oy),
               ClampCoord(int64_t{rect->right} + ox), ClampCoord(int64_t{rect->bottom} + oy)};
  if (rect && (options & ETO_OPAQUE)) {
    uint32_t bkRaw = f.FromRgb(ResolveColor(*dc, dc->st.bkColor));
    FillRaw(s, clip, box, bkRaw, R2_COPYPEN);
  }
  if (rect && (options & ETO_CLIPPED)) {
    clip.left = std::max<LONG>(clip.left, box.left);
    clip.top = std::max<LONG>(clip.top, box.top);
    clip.right = std::min<LONG>(clip.right, box.right);
    clip.bottom = std::min<LONG>(clip.bottom, box.bottom);
    if (clip.left >= clip.right || clip.top >= clip.bottom) return TRUE;
  }
  int64_t total = 0;
  for (int i = 0; i < length; ++i)
    total += dx ? dx[i] : GlyphFor(*r, static_cast<unsigned char>(text[i])).advance;
  int width = ClampCoord(total);
  UINT align = dc->st.textAlign;
  if ((align & TA_CENTER) == TA_CENTER) {
    x -= width / 2;
  } else if (align & TA_RIGHT) {
    x -= width;
  }
  if ((align & TA_BASELINE) == TA_BASELINE) {
    y -= r->tm.tmAscent;
  } else if (align & TA_BOTTOM) {
    y -= r->tm.tmHeight;
  }
  x = ClampCoord(int64_t{x} + ox);
  y = ClampCoord(int64_t{y} + oy);
  COLORREF textColor = ResolveColor(*dc, dc->st.textColor);
  uint32_t textRaw = f.FromRgb(textColor);
  if (dc->st.bkMode == OPAQUE) {
    uint32_t bkRaw = f.FromRgb(ResolveColor(*dc, dc->st.bkColor));
    FillRaw(s, clip, RECT{x, y, x + width, y + r->tm.tmHeight}, bkRaw, R2_COPYPEN);
  }
  bool blend = !r->mono;
  uint8_t tr = GetRValue(textColor), tg = GetGValue(textColor), tb = GetBValue(textColor);
  std::vector<uint32_t> span;
  int baseline = y + r->tm.tmAscent;
  int penX = x;
  for (int i = 0; i < length; ++i) {
    const Glyph& g = GlyphFor(*r, static_cast<unsigned char>(text[i]));
    int gx = penX + g.left, gy = baseline - g.top;
    penX = ClampCoord(int64_t{penX} + (dx ? dx[i] : g.advance));
    int cx0 = std::max<int>(gx, clip.left), cx1 = std::min<int>(gx + g.width, clip.right);
    if (cx0 >= cx1) continue;
    int n = cx1 - cx0;
    span.resize(static_cast<size_t>(n));
    for (int row = 0; row < g.height; ++row) {
      int py = gy + row;
      if (py < clip.top || py >= clip.bottom) continue;
      const uint8_t* cov = g.coverage.data() + static_cast<size_t>(row) * g.width + (cx0 - gx);
      ReadSpan(s, py, cx0, n, span.data());
      bool changed = false;
      for (int k = 0; k < n; ++k) {
        uint32_t a = cov[k];
        if (a == 0) continue;
        changed = true;
        if (a == 255 || !blend) {
          span[static_cast<size_t>(k)] = textRaw;
          continue;
        }
        COLORREF d = f.ToRgb(span[static_cast<size_t>(k)]);
        auto mix = [a](uint32_t fg, uint32_t bg) {
          return static_cast<uint8_t>((fg * a + bg * (255 - a) + 127) / 255);
        };
        span[static_cast<size_t>(k)] =
            f.FromRgb(RGB(mix(tr, GetRValue(d)), mix(tg, GetGValue(d)), mix(tb, GetBValue(d))));
      }
      if (changed) WriteSpan(s, py, cx0, n, span.data());
    }
  }
  if (r->underline) {
    int uy = baseline + r->underlinePos;
    FillRaw(s, clip, RECT{x, uy, x + width, uy + r->underlineThickness}, textRaw, R2_COPYPEN);
  }
  if (r->strikeOut) {
    int sy = baseline - r->tm.tmAscent / 3;
    FillRaw(s, clip, RECT{x, sy, x + width, sy + r->underlineThickness}, textRaw, R2_COPYPEN);
  }
  return TRUE;
}

}  // namespace

BOOL TextOutA(HDC h, int x, int y, const char* text, int length) {
  GDI_LOCK;
  return DrawString(h, x, y, 0, nullptr, text, length, nullptr);
}

BOOL ExtTextOutA(HDC h, int x, int y, UINT options, const RECT* rect, const char* text, UINT length,
                 const INT* dx) {
  GDI_LOCK;
  if (length > 0x7FFFFFFF) return FALSE;
  return DrawString(h, x, y, options, rect, text, static_cast<int>(length), dx);
}

UINT SetTextAlign(HDC h, UINT align) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  if (!dc) return GDI_ERROR;
  UINT previous = dc->st.textAlign;
  dc->st.textAlign = align;
  return previous;
}

UINT GetTextAlign(HDC h) {
  GDI_LOCK;
  Dc* dc = GetDc(h);
  return dc ? dc->st.textAlign : GDI_ERROR;
}
