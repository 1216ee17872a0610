// The one image type of the player and the engine: a bitmap always held at 32 bits per
// pixel (bytes blue, green, red, transparency; transparency 0 is opaque, 255 fully
// transparent), with whole-bitmap fills and rectangle blits that blend pixel by pixel
// with exact integer formulas. The blits run on SIMD kernels chosen for the processor.
// Threads: a bitmap is used by one thread at a time.
#pragma once

#include <cstdint>

#include "platform/Graphics.h"

class TABitmap : public TBitmap {
 public:
  TABitmap();  // empty, 32 bits per pixel

  void Ensure32Bit() { SetPixelFormat(pf32bit); }
  bool HasImage() const { return Width() > 0; }
  void Assign(const TBitmap& source);

  void FillColor(TColor color);
  void FillRGB(uint8_t blue, uint8_t green, uint8_t red);
  void FillRGBA(uint8_t red, uint8_t green, uint8_t blue, uint8_t opacity);

  // Blits of this bitmap's (sx, sy, w, h) onto dest at (dx, dy), clipped to dest first.
  // (A source rectangle reaching past this bitmap is cut to it as well.) Opacity is
  // 0..255; more counts as 255.
  void DrawAlpha(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy) const;
  void DrawAlphaSprite(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy) const;
  void DrawAlphaOpacity(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                        uint16_t opacity) const;
  void DrawAlphaOpacitySprite(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                              uint16_t opacity) const;
  // `mask` is an 8-bit bitmap read at the destination's coordinates; the drawn area is
  // also kept inside it. shift is 0..8.
  void DrawMaskTransition(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                          const TBitmap& mask, uint16_t level, uint16_t shift) const;
  // Blends colour over (x, y, w, h) with alpha 0..255. All four bytes go through the
  // formula, the colour's fourth byte taken as 0: the transparency byte becomes
  // (t * (256 - alpha)) >> 8.
  void BlendFillRect(int32_t x, int32_t y, int32_t w, int32_t h, TColor color, uint8_t alpha);

 private:
  template <typename Row>
  void Blit(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy, Row row) const;
};

// Clips a blit to a destination of destWidth x destHeight; false when nothing is left.
bool ClipToDest(int32_t& sx, int32_t& sy, int32_t& w, int32_t& h, int32_t& dx, int32_t& dy, int32_t destWidth,
                int32_t destHeight);
void SplitColor(TColor color, uint8_t& blue, uint8_t& green, uint8_t& red);
// Makes `mask` an 8-bit copy of the source's first (blue) bytes; the source is left at
// 24 bits per pixel.
void ExtractMask8(TBitmap& source, TBitmap& mask);
