// Device-independent bitmaps: 8, 24 or 32 bits per pixel, rows top-down with each row
// padded to 4 bytes, pixel memory owned or attached. A bitmap's Handle() describes its
// memory so that another library can draw straight into it by attaching to it.
// Fonts and text: families found through fontconfig (the Windows Japanese families are
// aliased to the IPA fonts; an unknown family falls back to the best Japanese font),
// glyphs drawn by FreeType without anti-aliasing. A positive font height is a cell
// height in pixels, a negative one a character (em) height; points are at 96 dpi.
// Threads: a bitmap is used by one thread at a time; fonts and text may be used from
// any thread (the font machinery has one lock).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "SysUtils.h"

// Colour values: red in the low byte, then green, then blue.
using TColor = uint32_t;

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
enum TFontPitch { fpDefault, fpVariable, fpFixed };

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
};

class SVP_API TFont {
 public:
  AnsiString Name = "ＭＳ ゴシック";
  int32_t Height = 16;  // > 0: cell height in pixels; < 0: character height
  TColor Color = 0;
  unsigned Style = 0;  // TFontStyle bits
  TFontPitch Pitch = fpDefault;

  // Points at 96 dpi, negative while Height is a cell height (the Windows convention).
  int32_t Size() const;
  void SetSize(int32_t points);
  // The font file (and face index) that draws this font after aliases and fallbacks.
  std::string FilePath() const;
};

class TBitmap;

// Draws text into a bitmap: glyph pixels only (the background stays), in the font colour
// with the fourth byte 0. Text is UTF-16; what lies outside the bitmap is not drawn.
class SVP_API TCanvas {
 public:
  explicit TCanvas(TBitmap* target) : FTarget(target) {}
  TFont Font;
  int32_t TextWidth(std::u16string_view text);
  // Width and the font's cell height.
  TSize TextExtent(std::u16string_view text);
  // The cell's top-left corner at (x, y).
  void TextOut(int32_t x, int32_t y, std::u16string_view text);

 private:
  TBitmap* FTarget;
};

// True when the font, or another installed one, has the character (a control character
// needs none). Text is drawn in the font asked for, each character it lacks in one that
// has it.
SVP_API bool FontHasCharacter(const TFont& font, char32_t c);
// True when a family of exactly this name (any of its localized names) is installed.
SVP_API bool FontFamilyInstalled(const AnsiString& family);
// Adds a font file to the fonts this process can use, until removed; false when the path
// is not a regular file or the file holds no usable font.
SVP_API bool AddFontResource(const std::string& path);
SVP_API bool RemoveFontResource(const std::string& path);
// fontconfig's own start, which loads the system's configuration and font caches: safe
// beside any other thread's use of fontconfig, so a start may make it while it waits for
// something else. Any thread.
SVP_API void StartFontConfiguration();
// Loads the process's font configuration with our additions to it, or waits for another
// thread doing so; every font function does so when first called. Any thread.
SVP_API void LoadFontConfiguration();
// While one lives the process's font configuration does not change: adding or removing a
// font waits for it to go. For a thread that reads the configuration through another
// library (the window toolkit's fonts) beside our own readers. After LoadFontConfiguration.
class SVP_API TFontConfigurationReading {
 public:
  TFontConfigurationReading();
  ~TFontConfigurationReading();
  TFontConfigurationReading(const TFontConfigurationReading&) = delete;
  TFontConfigurationReading& operator=(const TFontConfigurationReading&) = delete;
};

enum TPixelFormat { pf8bit, pf24bit, pf32bit };

// What a bitmap handle points at. The memory stays the owner's; an attached bitmap must
// not outlive it or see it resized.
struct TBitmapData {
  int32_t Width;
  int32_t Height;
  int32_t BitsPerPixel;
  int32_t Stride;  // bytes from one row to the next
  uint8_t* Bits;   // row 0, the top row
};
using HBITMAP = TBitmapData*;

class SVP_API TBitmap : public TObject {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int32_t Width() const { return FData.Width; }
  int32_t Height() const { return FData.Height; }
  int32_t Stride() const { return FData.Stride; }
  TPixelFormat PixelFormat() const { return FFormat; }
  // New pixels are 0; the part of the old image that still fits is kept.
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t width) { SetSize(width, FData.Height); }
  void SetHeight(int32_t height) { SetSize(FData.Width, height); }
  // Converts the pixels: 24 to 32 leaves the fourth byte 0, 32 to 24 drops it, to 8 bits
  // keeps a grey level, from 8 bits repeats it in every channel.
  void SetPixelFormat(TPixelFormat format);
  // Row y (0 at the top); y must lie inside the bitmap.
  uint8_t* ScanLine(int32_t y) const { return FData.Bits + ptrdiff_t(y) * FData.Stride; }
  HBITMAP Handle() { return &FData; }
  // Draws in another bitmap's memory from now on (its size and format included).
  void Attach(HBITMAP handle);
  bool Attached() const { return FAttached; }
  // Same size, format and pixels as `source`, in memory of its own.
  void Assign(const TBitmap& source);
  // Exchanges pixels, size and format with `other` without copying (canvases stay put).
  void Swap(TBitmap& other) noexcept;
  TCanvas& Canvas();

 private:
  void Release();
  static int32_t StrideFor(int32_t width, int32_t bitsPerPixel);

  TBitmapData FData{0, 0, 32, 0, nullptr};
  TPixelFormat FFormat = pf32bit;
  bool FAttached = false;
  std::unique_ptr<TCanvas> FCanvas;
};
