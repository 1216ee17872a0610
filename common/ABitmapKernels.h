// The per-row pixel kernels behind TABitmap's blits and fills. The scalar kernels are the
// reference, with the exact formulas; the SIMD kernels (SSE2, AVX2) must give identical
// bytes. Pixels are little-endian 32-bit: transparency<<24 | red<<16 | green<<8 | blue.
// Threads: the kernels are pure functions; UseKernels is for tests and benchmarks only.
#pragma once

#include <cstdint>

struct TPixelKernels {
  const char* Name;
  void (*DrawAlpha)(const uint32_t* s, uint32_t* d, int n);
  void (*DrawAlphaSprite)(const uint32_t* s, uint32_t* d, int n);
  void (*DrawAlphaOpacity)(const uint32_t* s, uint32_t* d, int n, uint32_t opacity);
  void (*DrawAlphaOpacitySprite)(const uint32_t* s, uint32_t* d, int n, uint32_t opacity);
  // level is the effective level (already scaled), shift the n of R = 1 << n.
  void (*DrawMaskTransition)(const uint32_t* s, uint32_t* d, const uint8_t* mask, int n, uint32_t level,
                             uint32_t shift);
  // d = (d * (256 - alpha) + pixel * alpha) >> 8 per byte.
  void (*BlendFill)(uint32_t* d, int n, uint32_t pixel, uint32_t alpha);
  // A transition's frame in one pass over a row, each result written once and the same as
  // the kernels above give one after another. Cross-fade: the outgoing row laid on d by
  // DrawAlphaSprite, the incoming over that by DrawAlphaOpacitySprite.
  void (*CrossFade)(const uint32_t* out, const uint32_t* in, uint32_t* d, int n, uint32_t opacity);
  // Mask: composite = the outgoing row with the incoming one laid over it by
  // DrawMaskTransition; d takes the composite by DrawAlpha.
  void (*MaskFade)(const uint32_t* out, const uint32_t* in, const uint8_t* mask, uint32_t* composite, uint32_t* d,
                   int n, uint32_t level, uint32_t shift);
};

const TPixelKernels& ReferenceKernels();
const TPixelKernels* SSE2Kernels();  // null where not built
const TPixelKernels* AVX2Kernels();  // null where not built or the processor lacks AVX2
// The kernels the blits use: the fastest this processor runs, unless SORVANE_KERNELS
// (reference, sse2, avx2) names another at the first blit, or UseKernels chose.
const TPixelKernels& ActiveKernels();
void UseKernels(const TPixelKernels& kernels);

// One pixel of each formula, shared by the reference kernels and the SIMD kernels' tails.
namespace Pixel {
// Internal linkage: each kernel file compiles its own copy with its own instruction set.
namespace {

inline uint32_t Lerp(uint32_t s, uint32_t d, uint32_t ws, uint32_t wd, uint32_t shift) {
  uint32_t out = 0;
  for (uint32_t k = 0; k < 32; k += 8) {
    const uint32_t r = (((s >> k) & 255) * ws + ((d >> k) & 255) * wd) >> shift;
    out |= (r > 255 ? 255 : r) << k;
  }
  return out;
}

inline uint32_t Alpha(uint32_t s, uint32_t d) {
  const uint32_t w = (s >> 25) + 1;
  return Lerp(s, d, 128 - w, w, 7);
}

inline uint32_t AlphaSprite(uint32_t s, uint32_t d) {
  const uint32_t a = s >> 25;
  return a == 127 ? d : a == 0 ? s : Alpha(s, d);
}

inline uint32_t AlphaOpacity(uint32_t s, uint32_t d, uint32_t opacity) {
  const uint32_t k = ((255 - (s >> 24)) * (opacity + 1)) >> 8;
  return Lerp(s, d, k, 255 - k, 8);
}

inline uint32_t AlphaOpacitySprite(uint32_t s, uint32_t d, uint32_t opacity) {
  return (s >> 24) == 255 ? d : AlphaOpacity(s, d, opacity);
}

inline uint32_t MaskTransition(uint32_t s, uint32_t d, uint32_t m, uint32_t level, uint32_t shift) {
  if (level < m) return d;
  const uint32_t t = level - m, r = 1u << shift;
  if (t > r) return s;
  return Lerp(s, d, t, r - t, shift);
}

inline uint32_t BlendFill(uint32_t d, uint32_t pixel, uint32_t alpha) { return Lerp(pixel, d, alpha, 256 - alpha, 8); }

}  // namespace
}  // namespace Pixel
