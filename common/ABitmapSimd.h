// The blend kernels written once over a vector policy (V128 for SSE2, V256 for AVX2).
// Each pixel's four bytes are widened to 16-bit lanes, combined with the pixel's weight
// spread over its lanes, narrowed again with unsigned saturation. Every intermediate sum
// is below 65536, so wrapping 16-bit arithmetic gives the exact formulas.
// Included only by the kernel files; everything here has internal linkage.
#pragma once

#include <immintrin.h>

#include "common/ABitmapKernels.h"

namespace {

template <class V>
struct SimdKernels {
  using T = typename V::T;
  static constexpr int N = V::N;

  // A weight per pixel (32-bit lanes, below 65536) spread to the 16-bit lanes of that
  // pixel's bytes, in the order UnpackLo8/UnpackHi8 widen them.
  static void Spread(T w32, T& lo, T& hi) {
    const T w = V::Or(w32, V::template Slli32<16>(w32));
    lo = V::UnpackLo32(w, w);
    hi = V::UnpackHi32(w, w);
  }

  // v = 128 - w = (255 - A) >> 1, spread to the lanes as v << 8.
  static void AlphaWeights(T s, T& vl, T& vh) {
    Spread(V::template Slli32<8>(V::template Srli32<25>(V::Xor(s, V::Ones()))), vl, vh);
  }

  static T Alpha(T s, T d, T vl, T vh) {
    const T z = V::Zero();
    const T sl = V::UnpackLo8(s, z), sh = V::UnpackHi8(s, z);
    const T dl = V::UnpackLo8(d, z), dh = V::UnpackHi8(d, z);
    // (s*(128-w) + d*w) >> 7 == d + floor((s-d)*v / 128) == d + ((2(s-d) * (v << 8)) >> 16)
    const T xl = V::Sub16(sl, dl), xh = V::Sub16(sh, dh);
    const T rl = V::Add16(dl, V::MulHi16(V::Add16(xl, xl), vl));
    const T rh = V::Add16(dh, V::MulHi16(V::Add16(xh, xh), vh));
    return V::PackUS16(rl, rh);
  }

  static T Alpha(T s, T d) {
    T vl, vh;
    AlphaWeights(s, vl, vh);
    return Alpha(s, d, vl, vh);
  }

  // k = ((255 - A) * (opacity + 1)) >> 8 for each pixel, spread over its lanes.
  static void OpacityWeights(T s, T opacity1, T& kl, T& kh) {
    if constexpr (V::kHasByteShuffle) {
      // (255 - A) << 8 straight into the lanes, then k = ((255 - A) << 8) * (opacity + 1) >> 16.
      const T high = V::Set16(short(0xFF00));
      kl = V::MulHiU16(V::Xor(V::SpreadAlphaHighLo(s), high), opacity1);
      kh = V::MulHiU16(V::Xor(V::SpreadAlphaHighHi(s), high), opacity1);
    } else {
      const T inv = V::template Srli32<24>(V::Xor(s, V::Ones()));
      Spread(V::template Srli32<8>(V::Mullo16(inv, opacity1)), kl, kh);
    }
  }

  static T AlphaOpacity(T s, T d, T opacity1) {
    T kl, kh;
    OpacityWeights(s, opacity1, kl, kh);
    const T z = V::Zero();
    const T sl = V::UnpackLo8(s, z), sh = V::UnpackHi8(s, z);
    const T dl = V::UnpackLo8(d, z), dh = V::UnpackHi8(d, z);
    // (s*k + d*(255-k)) >> 8 == (d*255 + (s-d)*k) >> 8
    const T d255l = V::Sub16(V::template Slli16<8>(dl), dl), d255h = V::Sub16(V::template Slli16<8>(dh), dh);
    const T rl = V::template Srli16<8>(V::Add16(d255l, V::Mullo16(V::Sub16(sl, dl), kl)));
    const T rh = V::template Srli16<8>(V::Add16(d255h, V::Mullo16(V::Sub16(sh, dh), kh)));
    return V::PackUS16(rl, rh);
  }

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
    int i = Blocks(n, [&](int k) { V::Store(d + k, Alpha(V::Load(s + k), V::Load(d + k))); });
    for (; i < n; ++i) d[i] = Pixel::Alpha(s[i], d[i]);
  }

  static void DrawAlphaSprite(const uint32_t* s, uint32_t* d, int n) {
    const T z = V::Zero(), top = V::Set32(127);
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      const T v = V::template Srli32<25>(V::Xor(sv, V::Ones()));  // 127 - (A >> 1)
      const T keep = V::CmpEq32(v, z);
      if (V::All(keep)) return;  // fully transparent run
      const T copy = V::CmpEq32(v, top);
      if (V::All(copy)) {
        V::Store(d + k, sv);
        return;
      }
      // Where A >> 1 is 127 the weight gives the destination exactly; A >> 1 = 0 copies.
      T vl, vh;
      Spread(V::template Slli32<8>(v), vl, vh);
      V::Store(d + k, V::Select(copy, sv, Alpha(sv, V::Load(d + k), vl, vh)));
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaSprite(s[i], d[i]);
  }

  static void DrawAlphaOpacity(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
    const T o = V::Set16(short(opacity + 1));
    int i = Blocks(n, [&](int k) { V::Store(d + k, AlphaOpacity(V::Load(s + k), V::Load(d + k), o)); });
    for (; i < n; ++i) d[i] = Pixel::AlphaOpacity(s[i], d[i], opacity);
  }

  static void DrawAlphaOpacitySprite(const uint32_t* s, uint32_t* d, int n, uint32_t opacity) {
    const T o = V::Set16(short(opacity + 1));
    const T full = V::Set32(255);
    int i = Blocks(n, [&](int k) {
      const T sv = V::Load(s + k);
      const T keep = V::CmpEq32(V::template Srli32<24>(sv), full);
      if (V::All(keep)) return;
      const T dv = V::Load(d + k);
      V::Store(d + k, V::Select(keep, dv, AlphaOpacity(sv, dv, o)));
    });
    for (; i < n; ++i) d[i] = Pixel::AlphaOpacitySprite(s[i], d[i], opacity);
  }

  static void DrawMaskTransition(const uint32_t* s, uint32_t* d, const uint8_t* mask, int n, uint32_t level,
                                 uint32_t shift) {
    // t = level - m clamped to 0..R: 0 keeps the destination and R gives the source
    // exactly, so (d*R + (s-d)*t) >> n covers all three cases of the formula.
    const T l = V::Set32(int(level)), r = V::Set32(int(1u << shift));
    const __m128i count = _mm_cvtsi32_si128(int(shift));
    const T z = V::Zero();
    int i = Blocks(n, [&](int k) {
      const T t = V::Sub16(r, V::SubSatU16(r, V::SubSatU16(l, V::LoadBytes32(mask + k))));
      if (V::All(V::CmpEq32(t, z))) return;
      const T sv = V::Load(s + k);
      if (V::All(V::CmpEq32(t, r))) {
        V::Store(d + k, sv);
        return;
      }
      const T dv = V::Load(d + k);
      T tl, th;
      Spread(t, tl, th);
      const T sl = V::UnpackLo8(sv, z), sh = V::UnpackHi8(sv, z);
      const T dl = V::UnpackLo8(dv, z), dh = V::UnpackHi8(dv, z);
      const T rl = V::Srl16(V::Add16(V::Sll16(dl, count), V::Mullo16(V::Sub16(sl, dl), tl)), count);
      const T rh = V::Srl16(V::Add16(V::Sll16(dh, count), V::Mullo16(V::Sub16(sh, dh), th)), count);
      V::Store(d + k, V::PackUS16(rl, rh));
    });
    for (; i < n; ++i) d[i] = Pixel::MaskTransition(s[i], d[i], mask[i], level, shift);
  }

  static void BlendFill(uint32_t* d, int n, uint32_t pixel, uint32_t alpha) {
    const T z = V::Zero();
    const T c = V::Set32(int(pixel));
    const T cl = V::UnpackLo8(c, z), ch = V::UnpackHi8(c, z);
    const T a = V::Set16(short(alpha));
    int i = Blocks(n, [&](int k) {
      const T dv = V::Load(d + k);
      const T dl = V::UnpackLo8(dv, z), dh = V::UnpackHi8(dv, z);
      // (d*(256-a) + c*a) >> 8 == (d*256 + (c-d)*a) >> 8
      const T rl = V::template Srli16<8>(V::Add16(V::template Slli16<8>(dl), V::Mullo16(V::Sub16(cl, dl), a)));
      const T rh = V::template Srli16<8>(V::Add16(V::template Slli16<8>(dh), V::Mullo16(V::Sub16(ch, dh), a)));
      V::Store(d + k, V::PackUS16(rl, rh));
    });
    for (; i < n; ++i) d[i] = Pixel::BlendFill(d[i], pixel, alpha);
  }

  static TPixelKernels Table(const char* name) {
    return TPixelKernels{name,           &DrawAlpha,          &DrawAlphaSprite, &DrawAlphaOpacity,
                         &DrawAlphaOpacitySprite, &DrawMaskTransition, &BlendFill};
  }
};

}  // namespace
