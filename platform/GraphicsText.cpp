// Fonts and text for the canvas: fontconfig finds the file, FreeType draws the glyphs.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SIZES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "Files.h"
#include "Graphics.h"

namespace {

// The Windows Japanese families and the fonts that stand for them here.
struct TFamilyAlias {
  const char* Windows;
  const char* Here;
};
constexpr TFamilyAlias kAliases[] = {
    {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"MS PGothic", "IPAPGothic"},
};

std::recursive_mutex gLock;  // guards fontconfig, FreeType and the caches below
// Held shared by other libraries' readers of the configuration, exclusively (after gLock)
// to change it.
std::shared_mutex gChanging;

std::string AliasConfig() {
  std::string xml = "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>";
  for (const TFamilyAlias& a : kAliases)
    xml += std::string("<alias binding=\"same\"><family>") + a.Windows + "</family><prefer><family>" + a.Here +
           "</family></prefer></alias>";
  return xml + "</fontconfig>";
}

// The process's own configuration, which the window toolkit reads too: a second one of our
// own would parse the configuration files and load every font cache again at start-up. Our
// additions (the aliases, a story's font file) are made while no story thread draws text,
// and wait for the readers another library has (TFontConfigurationReading); fontconfig
// serves readers on several threads.
FcConfig* Config() {
  static FcConfig* config = [] {
    const std::unique_lock<std::shared_mutex> changing(gChanging);
    FcConfig* c = FcConfigReference(nullptr);
    if (c) {
      const std::string xml = AliasConfig();
      FcConfigParseAndLoadFromMemory(c, reinterpret_cast<const FcChar8*>(xml.c_str()), FcFalse);
    }
    return c;
  }();
  return config;
}

std::vector<std::string> gAppFonts;

struct TFaceFile {
  std::string File;
  int Index = 0;
  bool operator<(const TFaceFile& o) const { return File != o.File ? File < o.File : Index < o.Index; }
};

std::map<std::pair<std::string, unsigned>, TFaceFile> gResolved;

void AddStyle(FcPattern* p, unsigned style) {
  FcPatternAddInteger(p, FC_WEIGHT, (style & fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(p, FC_SLANT, (style & fsItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
}

bool HasFamily(FcPattern* font, const std::string& family) {
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (family == reinterpret_cast<const char*>(name)) return true;
  return false;
}

TFaceFile FromPattern(FcPattern* font) {
  TFaceFile f;
  FcChar8* file = nullptr;
  if (FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch) f.File = reinterpret_cast<const char*>(file);
  FcPatternGetInteger(font, FC_INDEX, 0, &f.Index);
  return f;
}

FcPattern* Match(FcPattern* pattern) {
  FcConfigSubstitute(Config(), pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  return FcFontMatch(Config(), pattern, &result);
}

// fontconfig answers every request with some font: keep its answer only when the family
// is the one asked for (or what the Windows family stands for); else the best Japanese font.
TFaceFile Resolve(const std::string& name, unsigned style) {
  const auto key = std::make_pair(name, style & (fsBold | fsItalic));
  if (auto it = gResolved.find(key); it != gResolved.end()) return it->second;
  std::string wanted = name;
  for (const TFamilyAlias& a : kAliases)
    if (name == a.Windows) wanted = a.Here;
  TFaceFile face;
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  AddStyle(p, style);
  if (FcPattern* m = Match(p)) {
    if (HasFamily(m, name) || HasFamily(m, wanted)) face = FromPattern(m);
    FcPatternDestroy(m);
  }
  FcPatternDestroy(p);
  if (face.File.empty()) {
    FcPattern* ja = FcNameParse(reinterpret_cast<const FcChar8*>(":lang=ja"));
    AddStyle(ja, style);
    if (FcPattern* m = Match(ja)) {
      face = FromPattern(m);
      FcPatternDestroy(m);
    }
    FcPatternDestroy(ja);
  }
  gResolved[key] = face;
  return face;
}

// ---------------------------------------------------------------- FreeType

FT_Library Library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    FT_Init_FreeType(&l);
    return l;
  }();
  return lib;
}

struct TFaceEntry {
  FT_Face Face = nullptr;
  std::map<int32_t, FT_Size> Sizes;
};
std::map<TFaceFile, TFaceEntry> gFaces;

// The face of a font file at a height, active; null when the file could not be opened.
FT_Face FaceAt(const TFaceFile& file, int32_t fontHeight) {
  if (file.File.empty() || !Library()) return nullptr;
  TFaceEntry& e = gFaces[file];
  if (!e.Face && FT_New_Face(Library(), file.File.c_str(), file.Index, &e.Face) != 0) {
    e.Face = nullptr;
    return nullptr;
  }
  const int32_t height = fontHeight == 0 ? 16 : std::clamp(fontHeight, -2048, 2048);
  auto it = e.Sizes.find(height);
  if (it == e.Sizes.end()) {
    FT_Size size = nullptr;
    if (FT_New_Size(e.Face, &size) != 0) return nullptr;
    FT_Activate_Size(size);
    FT_Size_RequestRec req{};
    req.type = height > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
    req.height = FT_Long(std::abs(height)) * 64;
    if (FT_Request_Size(e.Face, &req) != 0) {
      FT_Done_Size(size);
      return nullptr;
    }
    it = e.Sizes.emplace(height, size).first;
  }
  FT_Activate_Size(it->second);
  return e.Face;
}

// The face for a font at its height, active; null when no font file could be opened.
FT_Face FaceFor(const TFont& font) { return FaceAt(Resolve(font.Name, font.Style), font.Height); }

// The font files that draw the characters a font lacks, by character and style; an empty
// file where no installed font has the character. Characters are many, so the table is
// emptied when it has grown large.
constexpr size_t kMaxFallbacks = 4096;
std::map<std::pair<char32_t, unsigned>, TFaceFile> gFallbacks;

TFaceFile FallbackFile(char32_t c, unsigned style) {
  const auto key = std::make_pair(c, style & (fsBold | fsItalic));
  if (auto it = gFallbacks.find(key); it != gFallbacks.end()) return it->second;
  TFaceFile face;
  if (Config()) {
    FcPattern* p = FcPatternCreate();
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, c);
    FcPatternAddCharSet(p, FC_CHARSET, wanted);
    AddStyle(p, style);
    if (FcPattern* m = Match(p)) {
      FcCharSet* has = nullptr;
      if (FcPatternGetCharSet(m, FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, c)) face = FromPattern(m);
      FcPatternDestroy(m);
    }
    FcCharSetDestroy(wanted);
    FcPatternDestroy(p);
  }
  if (gFallbacks.size() >= kMaxFallbacks) gFallbacks.clear();
  gFallbacks.emplace(key, face);
  return face;
}

// The face that draws character c of a font: its own, or one that has c when it lacks it.
FT_Face FaceForChar(FT_Face own, const TFont& font, char32_t c) {
  if (!own || c < 0x20 || FT_Get_Char_Index(own, c) != 0) return own;
  FT_Face other = FaceAt(FallbackFile(c, font.Style), font.Height);
  if (!other || FT_Get_Char_Index(other, c) == 0) {
    FT_Activate_Size(own->size);
    return own;  // no font has it: the font's own sign for a missing character
  }
  return other;
}

struct TLineMetrics {
  int32_t Ascent = 0;
  int32_t Cell = 0;
};

TLineMetrics Metrics(FT_Face face, const TFont& font) {
  TLineMetrics m;
  if (!face) {
    m.Cell = std::abs(font.Height);
    m.Ascent = m.Cell * 4 / 5;
    return m;
  }
  m.Ascent = int32_t(face->size->metrics.ascender >> 6);
  const int32_t descent = int32_t(-(face->size->metrics.descender >> 6));
  m.Cell = font.Height > 0 ? font.Height : m.Ascent + descent;
  return m;
}

char32_t CodePointAt(std::u16string_view text, size_t& i) {
  char32_t c = text[i++];
  if (c >= 0xD800 && c < 0xDC00 && i < text.size() && text[i] >= 0xDC00 && text[i] < 0xE000)
    c = 0x10000 + ((c - 0xD800) << 10) + (text[i++] - 0xDC00);
  return c;
}

// Loads a glyph, with the font's synthetic styles, rendered as a one-bit bitmap when asked.
bool LoadGlyph(FT_Face face, const TFont& font, char32_t c, int32_t& advance, bool render = true) {
  const bool italic = (font.Style & fsItalic) && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
  const bool bold = (font.Style & fsBold) && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  FT_Matrix shear{0x10000, italic ? 0x3333 : 0, 0, 0x10000};
  FT_Set_Transform(face, &shear, nullptr);
  const FT_Error err = FT_Load_Char(face, c, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP);
  FT_Set_Transform(face, nullptr, nullptr);
  if (err != 0) return false;
  FT_GlyphSlot slot = face->glyph;
  advance = int32_t((slot->advance.x + 32) >> 6);
  if (bold && slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    FT_Outline_Embolden(&slot->outline, std::max<FT_Pos>(64, face->size->metrics.y_ppem * 64 / 24));
    advance += 1;
  }
  return !render || FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0;
}

void PutPixel(TBitmapData& b, int32_t x, int32_t y, TColor color) {
  if (x < 0 || y < 0 || x >= b.Width || y >= b.Height) return;
  uint8_t* row = b.Bits + ptrdiff_t(y) * b.Stride;
  const uint8_t red = uint8_t(color), green = uint8_t(color >> 8), blue = uint8_t(color >> 16);
  if (b.BitsPerPixel == 32) {
    uint8_t* p = row + x * 4;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
    p[3] = 0;
  } else if (b.BitsPerPixel == 24) {
    uint8_t* p = row + x * 3;
    p[0] = blue;
    p[1] = green;
    p[2] = red;
  } else {
    row[x] = uint8_t((red * 77 + green * 150 + blue * 29) >> 8);
  }
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  const double v = double(a) * b / c;
  return int32_t(v < 0 ? -std::floor(-v + 0.5) : std::floor(v + 0.5));
}

}  // namespace

// ---------------------------------------------------------------- TFont

int32_t TFont::Size() const { return -MulDiv(Height, 72, 96); }

void TFont::SetSize(int32_t points) { Height = -MulDiv(points, 96, 72); }

std::string TFont::FilePath() const {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  return Resolve(Name, Style).File;
}

// ---------------------------------------------------------------- TCanvas

int32_t TCanvas::TextWidth(std::u16string_view text) { return TextExtent(text).cx; }

TSize TCanvas::TextExtent(std::u16string_view text) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  FT_Face face = FaceFor(Font);
  TSize size{0, Metrics(face, Font).Cell};
  if (!face) return size;
  for (size_t i = 0; i < text.size();) {
    int32_t advance = 0;
    const char32_t c = CodePointAt(text, i);
    if (LoadGlyph(FaceForChar(face, Font, c), Font, c, advance, false)) size.cx += advance;
  }
  return size;
}

void TCanvas::TextOut(int32_t x, int32_t y, std::u16string_view text) {
  if (!FTarget || FTarget->Width() == 0) return;
  std::lock_guard<std::recursive_mutex> lock(gLock);
  FT_Face face = FaceFor(Font);
  if (!face) return;
  TBitmapData& b = *FTarget->Handle();
  const TLineMetrics m = Metrics(face, Font);
  const int32_t baseline = y + m.Ascent;
  int32_t pen = x;
  for (size_t i = 0; i < text.size();) {
    int32_t advance = 0;
    const char32_t c = CodePointAt(text, i);
    FT_Face drawn = FaceForChar(face, Font, c);
    if (!LoadGlyph(drawn, Font, c, advance)) continue;
    const FT_Bitmap& g = drawn->glyph->bitmap;
    const int32_t left = pen + drawn->glyph->bitmap_left, top = baseline - drawn->glyph->bitmap_top;
    for (unsigned row = 0; row < g.rows; ++row) {
      const uint8_t* bits = g.buffer + ptrdiff_t(row) * g.pitch;
      for (unsigned col = 0; col < g.width; ++col)
        if (bits[col >> 3] & (0x80 >> (col & 7))) PutPixel(b, left + int32_t(col), top + int32_t(row), Font.Color);
    }
    pen += advance;
  }
  const int32_t thickness = std::max(1, m.Cell / 16);
  auto line = [&](int32_t top) {
    for (int32_t r = 0; r < thickness; ++r)
      for (int32_t px = x; px < pen; ++px) PutPixel(b, px, top + r, Font.Color);
  };
  if (Font.Style & fsUnderline) line(baseline + 1);
  if (Font.Style & fsStrikeOut) line(baseline - m.Ascent / 3);
}

// ---------------------------------------------------------------- font files

bool FontFamilyInstalled(const AnsiString& family) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  if (!Config()) return false;
  FcPattern* p = FcPatternCreate();
  FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, nullptr);
  FcFontSet* set = FcFontList(Config(), p, os);
  bool found = false;
  for (int i = 0; set && i < set->nfont && !found; ++i) found = HasFamily(set->fonts[i], family);
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(os);
  FcPatternDestroy(p);
  return found;
}

bool FontHasCharacter(const TFont& font, char32_t c) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  if (c < 0x20) return true;
  FT_Face own = FaceFor(font);
  if (own && FT_Get_Char_Index(own, c) != 0) return true;
  return !FallbackFile(c, font.Style).File.empty();
}

bool AddFontResource(const std::string& path) {
  // fontconfig would scan a folder (and write a cache for it) or block on a FIFO.
  if (!IsRegularFile(path)) return false;
  std::lock_guard<std::recursive_mutex> lock(gLock);
  if (!Config()) return false;
  const std::unique_lock<std::shared_mutex> changing(gChanging);
  if (!FcConfigAppFontAddFile(Config(), reinterpret_cast<const FcChar8*>(path.c_str()))) return false;
  gAppFonts.push_back(path);
  gResolved.clear();
  gFallbacks.clear();
  return true;
}

void StartFontConfiguration() { FcInit(); }

void LoadFontConfiguration() {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  Config();
}

TFontConfigurationReading::TFontConfigurationReading() { gChanging.lock_shared(); }
TFontConfigurationReading::~TFontConfigurationReading() { gChanging.unlock_shared(); }

bool RemoveFontResource(const std::string& path) {
  std::lock_guard<std::recursive_mutex> lock(gLock);
  if (!Config()) return false;
  const std::unique_lock<std::shared_mutex> changing(gChanging);
  const auto it = std::find(gAppFonts.begin(), gAppFonts.end(), path);
  if (it == gAppFonts.end()) return false;
  gAppFonts.erase(it);
  // fontconfig removes application fonts only all at once: add back the others.
  FcConfigAppFontClear(Config());
  for (const std::string& f : gAppFonts) FcConfigAppFontAddFile(Config(), reinterpret_cast<const FcChar8*>(f.c_str()));
  gResolved.clear();
  gFallbacks.clear();
  return true;
}
