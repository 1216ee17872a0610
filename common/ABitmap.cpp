#include "common/ABitmap.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/ABitmapKernels.h"

// ---------------------------------------------------------------- reference kernels

namespace {

void RefDrawAlpha(const uint32_t* s, uint32_t* d, int n) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::Alpha(s[i], d[i]);
}
void RefDrawAlphaSprite(const uint32_t* s, uint32_t* d, int n) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::AlphaSprite(s[i], d[i]);
}
void RefDrawAlphaOpacity(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::AlphaOpacity(s[i], d[i], opacity);
}
void RefDrawAlphaOpacitySprite(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::AlphaOpacitySprite(s[i], d[i], opacity);
}
void RefDrawMaskTransition(const uint32_t* s, uint32_t* d, const uint8_t* m, int n, uint32_t level, uint32_t shift) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::MaskTransition(s[i], d[i], m[i], level, shift);
}
void RefBlendFill(uint32_t* d, int n, uint32_t pixel, uint32_t alpha) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::BlendFill(d[i], pixel, alpha);
}
void RefCrossFade(const uint32_t* out, const uint32_t* in, uint32_t* d, int n, uint32_t opacity) {
  for (int i = 0; i < n; ++i) d[i] = Pixel::AlphaOpacitySprite(in[i], Pixel::AlphaSprite(out[i], d[i]), opacity);
}
void RefMaskFade(const uint32_t* out, const uint32_t* in, const uint8_t* m, uint32_t* c, uint32_t* d, int n,
                 uint32_t level, uint32_t shift) {
  for (int i = 0; i < n; ++i) {
    c[i] = Pixel::MaskTransition(in[i], out[i], m[i], level, shift);
    d[i] = Pixel::Alpha(c[i], d[i]);
  }
}

const TPixelKernels* BestKernels() {
  if (const TPixelKernels* k = AVX2Kernels()) return k;
  if (const TPixelKernels* k = SSE2Kernels()) return k;
  return &ReferenceKernels();
}

// SORVANE_KERNELS=reference|sse2|avx2 picks a set for the whole process: the player and the
// engine library each carry their own copy of these units, and both read it. A set this
// processor lacks, or any other value, leaves the best one.
const TPixelKernels* StartKernels() {
  const char* wanted = std::getenv("SORVANE_KERNELS");
  if (wanted) {
    const std::string name = wanted;
    if (name == "reference") return &ReferenceKernels();
    if (name == "sse2" && SSE2Kernels()) return SSE2Kernels();
    if (name == "avx2" && AVX2Kernels()) return AVX2Kernels();
  }
  return BestKernels();
}

std::atomic<const TPixelKernels*> gActive{nullptr};

uint32_t PixelOf(uint8_t blue, uint8_t green, uint8_t red, uint8_t transparency) {
  return uint32_t(blue) | uint32_t(green) << 8 | uint32_t(red) << 16 | uint32_t(transparency) << 24;
}

}  // namespace

const TPixelKernels& ReferenceKernels() {
  static const TPixelKernels kernels{"reference",           &RefDrawAlpha,          &RefDrawAlphaSprite,
                                     &RefDrawAlphaOpacity,  &RefDrawAlphaOpacitySprite,
                                     &RefDrawMaskTransition, &RefBlendFill,          &RefCrossFade,
                                     &RefMaskFade};
  return kernels;
}

const TPixelKernels& ActiveKernels() {
  const TPixelKernels* k = gActive.load(std::memory_order_acquire);
  if (!k) {
    k = StartKernels();
    gActive.store(k, std::memory_order_release);
  }
  return *k;
}

void UseKernels(const TPixelKernels& kernels) { gActive.store(&kernels, std::memory_order_release); }

// ---------------------------------------------------------------- helpers

bool ClipToDest(int32_t& sx, int32_t& sy, int32_t& w, int32_t& h, int32_t& dx, int32_t& dy, int32_t destWidth,
                int32_t destHeight) {
  // 64-bit sums: positions near the integer limits must not wrap.
  if (dx < 0 && int64_t(dx) + w <= 0) return false;
  if (dy < 0 && int64_t(dy) + h <= 0) return false;
  if (dx >= destWidth || dy >= destHeight) return false;
  if (dx < 0) {
    w += dx;
    sx -= dx;
    dx = 0;
  }
  if (int64_t(dx) + w > destWidth) w = destWidth - dx;
  if (dy < 0) {
    h += dy;
    sy -= dy;
    dy = 0;
  }
  if (int64_t(dy) + h > destHeight) h = destHeight - dy;
  return w > 0 && h > 0;
}

void SplitColor(TColor color, uint8_t& blue, uint8_t& green, uint8_t& red) {
  blue = uint8_t(color >> 16);
  green = uint8_t(color >> 8);
  red = uint8_t(color);
}

void ExtractMask8(TBitmap& source, TBitmap& mask) {
  mask.SetPixelFormat(pf8bit);
  mask.SetSize(source.Width(), source.Height());
  source.SetPixelFormat(pf24bit);
  for (int32_t y = 0; y < source.Height(); ++y) {
    const uint8_t* s = source.ScanLine(y);
    uint8_t* m = mask.ScanLine(y);
    for (int32_t x = 0; x < source.Width(); ++x) m[x] = s[x * 3];
  }
}

// ---------------------------------------------------------------- TABitmap

TABitmap::TABitmap() { SetPixelFormat(pf32bit); }

void TABitmap::Assign(const TBitmap& source) {
  TBitmap::Assign(source);
  Ensure32Bit();
}

void TABitmap::FillColor(TColor color) {
  uint8_t b, g, r;
  SplitColor(color, b, g, r);
  FillRGB(b, g, r);
}

void TABitmap::FillRGB(uint8_t blue, uint8_t green, uint8_t red) { FillRGBA(red, green, blue, 255); }

void TABitmap::FillRGBA(uint8_t red, uint8_t green, uint8_t blue, uint8_t opacity) {
  if (!HasImage() || Height() == 0 || PixelFormat() != pf32bit) return;
  const uint32_t p = PixelOf(blue, green, red, uint8_t(255 - opacity));
  // One row by hand, the others copied from it: block copies run at the memory's speed.
  std::fill_n(reinterpret_cast<uint32_t*>(ScanLine(0)), Width(), p);
  for (int32_t y = 1; y < Height(); ++y) std::memcpy(ScanLine(y), ScanLine(0), size_t(Width()) * 4);
}

template <typename Row>
void TABitmap::Blit(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                    Row row) const {
  if (!HasImage() || !dest.HasImage() || PixelFormat() != pf32bit || dest.PixelFormat() != pf32bit) return;
  if (!ClipToDest(sx, sy, w, h, dx, dy, dest.Width(), dest.Height())) return;
  // Keep the source rectangle inside this bitmap too (callers never pass one outside).
  int32_t ox = dx, oy = dy;
  if (!ClipToDest(ox, oy, w, h, sx, sy, Width(), Height())) return;
  dx = ox;
  dy = oy;
  for (int32_t r = 0; r < h; ++r) {
    const auto* s = reinterpret_cast<const uint32_t*>(ScanLine(sy + r)) + sx;
    auto* d = reinterpret_cast<uint32_t*>(dest.ScanLine(dy + r)) + dx;
    row(s, d, w, dx, dy + r);
  }
}

void TABitmap::DrawAlpha(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                         int32_t sy) const {
  const auto kernel = ActiveKernels().DrawAlpha;
  Blit(dest, dx, dy, w, h, sx, sy, [kernel](const uint32_t* s, uint32_t* d, int n, int, int) { kernel(s, d, n); });
}

void TABitmap::DrawAlphaSprite(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                               int32_t sy) const {
  const auto kernel = ActiveKernels().DrawAlphaSprite;
  Blit(dest, dx, dy, w, h, sx, sy, [kernel](const uint32_t* s, uint32_t* d, int n, int, int) { kernel(s, d, n); });
}

void TABitmap::DrawAlphaOpacity(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx, int32_t sy,
                                uint16_t opacity) const {
  const auto kernel = ActiveKernels().DrawAlphaOpacity;
  const uint32_t o = opacity < 255 ? opacity : 255;
  Blit(dest, dx, dy, w, h, sx, sy, [=](const uint32_t* s, uint32_t* d, int n, int, int) { kernel(s, d, n, o); });
}

void TABitmap::DrawAlphaOpacitySprite(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                                      int32_t sy, uint16_t opacity) const {
  const auto kernel = ActiveKernels().DrawAlphaOpacitySprite;
  const uint32_t o = opacity < 255 ? opacity : 255;
  Blit(dest, dx, dy, w, h, sx, sy, [=](const uint32_t* s, uint32_t* d, int n, int, int) { kernel(s, d, n, o); });
}

void TABitmap::DrawMaskTransition(TABitmap& dest, int32_t dx, int32_t dy, int32_t w, int32_t h, int32_t sx,
                                  int32_t sy, const TBitmap& mask, uint16_t level, uint16_t shift) const {
  if (mask.PixelFormat() != pf8bit || shift > 8) return;
  const uint32_t r = 1u << shift;
  const uint32_t effective = ((uint32_t(level) * (r + 256)) >> 8) & 0xFFFF;
  const auto kernel = ActiveKernels().DrawMaskTransition;
  Blit(dest, dx, dy, w, h, sx, sy, [&](const uint32_t* s, uint32_t* d, int n, int x, int y) {
    // The mask is read at destination coordinates; what lies outside it stays unchanged.
    if (y >= mask.Height() || x >= mask.Width()) return;
    kernel(s, d, mask.ScanLine(y) + x, std::min(n, mask.Width() - x), effective, shift);
  });
}

void TABitmap::BlendFillRect(int32_t x, int32_t y, int32_t w, int32_t h, TColor color, uint8_t alpha) {
  if (!HasImage() || PixelFormat() != pf32bit) return;
  int32_t sx = 0, sy = 0;
  if (!ClipToDest(sx, sy, w, h, x, y, Width(), Height())) return;
  uint8_t b, g, r;
  SplitColor(color, b, g, r);
  const uint32_t pixel = PixelOf(b, g, r, 0);
  const auto kernel = ActiveKernels().BlendFill;
  for (int32_t row = 0; row < h; ++row) kernel(reinterpret_cast<uint32_t*>(ScanLine(y + row)) + x, w, pixel, alpha);
}
