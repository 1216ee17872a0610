// The blend kernels written once over a vector policy (V128 for SSE2, V256 for AVX2).
// Every formula is brought to (s * ws + d * wd) >> 8 with ws + wd <= 256, weighed in
// 16-bit lanes two bytes of a pixel at a time; no sum reaches 65536, so the results are
// the exact formulas.
// Included only by the kernel files; everything here has internal linkage.
#pragma once

#include <immintrin.h>

#include "common/ABitmapKernels.h"

namespace {

template <class V>
struct SimdKernels {
  using T = typename V::T;
  static constexpr int N = V::N;
  static constexpr int kAhead = 1024;  // bytes a one-pass frame reads ahead of itself

  // (s * ws + d * wd) >> 8 for every byte, with each pixel's weights in both 16-bit
  // halves of its lane and ws + wd <= 256, so no sum leaves 16 bits. The even bytes (blue,
  // red) and the odd bytes (green, transparency) are weighed in separate 16-bit lanes:
  // nothing is unpacked or packed, and the odd results land in place.
  [[gnu::always_inline]] static T Blend(T s, T d, T ws, T wd) {
    const T even = V::Set32(0x00FF00FF);
    const T e = V::template Srli16<8>(V::Add16(V::Mullo16(V::And(s, even), ws), V::Mullo16(V::And(d, even), wd)));
    const T o = V::AndNot(even, V::Add16(V::Mullo16(V::template Srli16<8>(s), ws),
                                         V::Mullo16(V::template Srli16<8>(d), wd)));
    return V::Or(e, o);
  }

  // ((255 - A) & 0xFE) << 24: the DrawAlpha source weight doubled so that the shift is
  // 8, 2 * (128 - w) = (255 - A) & 0xFE, in the transparency byte.
  static T AlphaBits(T s) { return V::AndNot(s, V::Set32(int(0xFE000000u))); }

  // k = ((255 - A) * (opacity + 1)) >> 8 from (255 - A) << 24, as OpacityBits gives it.
  static T OpacityBits(T s) { return V::AndNot(s, V::Set32(int(0xFF000000u))); }
  static T OpacityWeight(T bits, T opacity1) { return V::MulHiU16(V::HighToBoth(bits), opacity1); }

  // Runs block(i) over whole vectors, two per turn so that independent work overlaps;
  // returns where the scalar tail starts.
  template <typename Block>
  static int Blocks(int n, Block block) {
    int i = 0;
    for (; i + 2 * N <= n; i += 2 * N) {
      block(i);
      block(i + N);
    }
    if (i + N <= n) {
      block(i);
      i += N;
    }
    return i;
  }

  static void DrawAlpha(const uint32_t* s, uint32_t* d, int n) {
    const T w256 = V::Set16(256);
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      const T ws = V::template Srli16<8>(V::HighToBoth(AlphaBits(sv)));
      V::Store(d + k, Blend(sv, V::Load(d + k), ws, V::Sub16(w256, ws)));
    });
    for (; i < n; ++i) d[i] = Pixel::Alpha(s[i], d[i]);
  }

  // What DrawAlphaSprite, DrawAlphaOpacitySprite and DrawMaskTransition do with a vector
  // of pixels: keep the destination, take the source, or mix the two with the weights.
  enum TMix { kKeep, kTake, kMix };

  [[gnu::always_inline]] static TMix SpriteOf(T sv, T& ws) {
    // HighToBoth puts (255 - A) & 0xFE in bytes 1 and 3: byte 1 is compared with 0 (A >> 1
    // = 127, the destination stays) and byte 3 with 0xFE (A >> 1 = 0, the source is
    // copied), both in one comparison.
    const T ends = V::Set32(int(0xFEFF00FFu));
    constexpr uint32_t kKeepBits = V::kPixelBits << 1, kCopyBits = V::kPixelBits << 3;
    const T high = V::HighToBoth(AlphaBits(sv));
    const uint32_t flags = V::MoveMask(V::CmpEq8(high, ends));
    if ((flags & kKeepBits) == kKeepBits) return kKeep;  // fully transparent run
    if ((flags & kCopyBits) == kCopyBits) return kTake;
    // A weight of 256 keeps the destination exactly; copying takes a source weight of 256
    // where the formula gives 254.
    const T b = V::template Srli16<8>(high);
    ws = V::Add16(b, V::SubSatU16(b, V::Set16(252)));
    return kMix;
  }

  static void DrawAlphaSprite(const uint32_t* s, uint32_t* d, int n) {
    const T w256 = V::Set16(256);
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      T ws;
      switch (SpriteOf(sv, ws)) {
        case kKeep: return;
        case kTake: return V::Store(d + k, sv);
        case kMix: return V::Store(d + k, Blend(sv, V::Load(d + k), ws, V::Sub16(w256, ws)));
      }
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaSprite(s[i], d[i]);
  }

  static void DrawAlphaOpacity(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
    const T o = V::Set16(short(opacity + 1)), w255 = V::Set16(255);
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      const T ws = OpacityWeight(OpacityBits(sv), o);
      V::Store(d + k, Blend(sv, V::Load(d + k), ws, V::Xor(ws, w255)));
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaOpacity(s[i], d[i], opacity);
  }

  // DrawAlphaOpacitySprite's weights for a vector of sources; false where every pixel
  // keeps the destination. `opacity1` is the opacity + 1 in every 16-bit lane.
  [[gnu::always_inline]] static bool OpacitySpriteOf(T sv, T opacity1, T& ws, T& wd) {
    const T bits = OpacityBits(sv);
    const T keep = V::CmpEq32(bits, V::Zero());  // A = 255
    if (V::All(keep)) return false;
    // Where A = 255 the source weight is 0 and the destination's becomes 256 (255 + 1),
    // which keeps it exactly.
    ws = OpacityWeight(bits, opacity1);
    wd = V::Sub16(V::Xor(ws, V::Set16(255)), keep);
    return true;
  }

  static void DrawAlphaOpacitySprite(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
    const T o = V::Set16(short(opacity + 1));
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      T ws, wd;
      if (OpacitySpriteOf(sv, o, ws, wd)) V::Store(d + k, Blend(sv, V::Load(d + k), ws, wd));
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaOpacitySprite(s[i], d[i], opacity);
  }

  // A cross-fade in one pass: the outgoing picture laid on the output as DrawAlphaSprite
  // lays it, the incoming one over that as DrawAlphaOpacitySprite does, written once.
  static void CrossFade(const uint32_t* out, const uint32_t* in, uint32_t* d, int n, uint32_t opacity) {
    const T o = V::Set16(short(opacity + 1)), w256 = V::Set16(256);
    int i = Blocks(n, [&](int k) __attribute__((always_inline)) {
      _mm_prefetch(reinterpret_cast<const char*>(out + k) + kAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(in + k) + kAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(d + k) + kAhead, _MM_HINT_T0);
      const T ov = V::Load(out + k), iv = V::Load(in + k);
      T ws, wd, t;
      switch (SpriteOf(ov, ws)) {
        case kKeep: t = V::Load(d + k); break;
        case kTake: t = ov; break;
        case kMix: t = Blend(ov, V::Load(d + k), ws, V::Sub16(w256, ws)); break;
      }
      V::Store(d + k, OpacitySpriteOf(iv, o, ws, wd) ? Blend(iv, t, ws, wd) : t);
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaOpacitySprite(in[i], Pixel::AlphaSprite(out[i], d[i]), opacity);
  }

  // DrawMaskTransition's level, clamped so that every level - m fits a signed 16-bit lane:
  // levels past 255 + R show the source everywhere, as 255 + R does.
  static uint32_t MaskLevel(uint32_t level, uint32_t shift) {
    return level < 255 + (1u << shift) ? level : 255 + (1u << shift);
  }

  // t = level - m clamped to 0..R: 0 keeps the destination and R gives the source exactly,
  // so (s*t + d*(R-t)) >> n covers all three cases of the formula. Both weights are scaled
  // by 2^(8-n) so that the shift is 8. `l` is the level and `r` R in every 16-bit lane.
  [[gnu::always_inline]] static TMix MaskOf(T m, T l, T r, __m128i scale, uint32_t shift, T& ws) {
    // t stands in both halves of a pixel's lane: the low half is compared with 0 and the
    // high half with R in one comparison.
    const T ends = V::Set32(int((1u << shift) << 16));
    constexpr uint32_t kKeepBits = V::kPixelBits, kCopyBits = V::kPixelBits << 2;
    const T t = V::Min16(V::SubSatU16(l, m), r);
    const uint32_t flags = V::MoveMask(V::CmpEq16(t, ends));
    if ((flags & kKeepBits) == kKeepBits) return kKeep;
    if ((flags & kCopyBits) == kCopyBits) return kTake;
    ws = V::Sll16(t, scale);
    return kMix;
  }

  // Calls block(k, mask pairs) over whole vectors, two vectors' mask bytes widened
  // together; returns where the scalar tail starts.
  template <typename Block>
  static int MaskBlocks(const uint8_t* mask, int n, Block block) {
    int i = 0;
    for (; i + 2 * N <= n; i += 2 * N) {
      T lo, hi;
      V::LoadMaskPairs2(mask + i, lo, hi);
      block(i, lo);
      block(i + N, hi);
    }
    if (i + N <= n) {
      block(i, V::LoadMaskPairs(mask + i));
      i += N;
    }
    return i;
  }

  static void DrawMaskTransition(const uint32_t* s, uint32_t* d, const uint8_t* mask, int n, uint32_t level,
                                 uint32_t shift) {
    level = MaskLevel(level, shift);
    const T l = V::Set16(short(level)), r = V::Set16(short(1u << shift)), w256 = V::Set16(256);
    const __m128i scale = _mm_cvtsi32_si128(int(8 - shift));
    int i = MaskBlocks(mask, n, [&](int k, T m) {
      T ws;
      switch (MaskOf(m, l, r, scale, shift, ws)) {
        case kKeep: return;
        case kTake: return V::Store(d + k, V::Load(s + k));
        case kMix: return V::Store(d + k, Blend(V::Load(s + k), V::Load(d + k), ws, V::Sub16(w256, ws)));
      }
    });
    for (; i < n; ++i) d[i] = Pixel::MaskTransition(s[i], d[i], mask[i], level, shift);
  }

  // A mask transition in one pass: the composite is the outgoing picture with the incoming
  // one laid over it through the mask, and the output takes the composite as DrawAlpha
  // lays it; each is written once.
  static void MaskFade(const uint32_t* out, const uint32_t* in, const uint8_t* mask, uint32_t* composite,
                       uint32_t* d, int n, uint32_t level, uint32_t shift) {
    level = MaskLevel(level, shift);
    const T l = V::Set16(short(level)), r = V::Set16(short(1u << shift)), w256 = V::Set16(256);
    const __m128i scale = _mm_cvtsi32_si128(int(8 - shift));
    int i = MaskBlocks(mask, n, [&](int k, T m) __attribute__((always_inline)) {
      _mm_prefetch(reinterpret_cast<const char*>(out + k) + kAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(in + k) + kAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(d + k) + kAhead, _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(composite + k) + kAhead, _MM_HINT_T0);
      const T ov = V::Load(out + k);
      T ws, c;
      switch (MaskOf(m, l, r, scale, shift, ws)) {
        case kKeep: c = ov; break;
        case kTake: c = V::Load(in + k); break;
        case kMix: c = Blend(V::Load(in + k), ov, ws, V::Sub16(w256, ws)); break;
      }
      V::Store(composite + k, c);
      const T wc = V::template Srli16<8>(V::HighToBoth(AlphaBits(c)));
      V::Store(d + k, Blend(c, V::Load(d + k), wc, V::Sub16(w256, wc)));
    });
    for (; i < n; ++i) {
      composite[i] = Pixel::MaskTransition(in[i], out[i], mask[i], level, shift);
      d[i] = Pixel::Alpha(composite[i], d[i]);
    }
  }

  static void BlendFill(uint32_t* d, int n, uint32_t pixel, uint32_t alpha) {
    // (d*(256-a) + c*a) >> 8, with c*a computed once for the even and the odd bytes.
    const T even = V::Set32(0x00FF00FF), c = V::Set32(int(pixel)), a = V::Set16(short(alpha));
    const T ce = V::Mullo16(V::And(c, even), a), co = V::Mullo16(V::template Srli16<8>(c), a);
    const T wd = V::Set16(short(256 - alpha));
    int i = Blocks(n, [&](int k) {
      const T dv = V::Load(d + k);
      const T e = V::template Srli16<8>(V::Add16(V::Mullo16(V::And(dv, even), wd), ce));
      const T o = V::AndNot(even, V::Add16(V::Mullo16(V::template Srli16<8>(dv), wd), co));
      V::Store(d + k, V::Or(e, o));
    });
    for (; i < n; ++i) d[i] = Pixel::BlendFill(d[i], pixel, alpha);
  }

  static TPixelKernels Table(const char* name) {
    return TPixelKernels{name,      &DrawAlpha,        &DrawAlphaSprite, &DrawAlphaOpacity, &DrawAlphaOpacitySprite,
                         &DrawMaskTransition, &BlendFill, &CrossFade,      &MaskFade};
  }
};

}  // namespace
