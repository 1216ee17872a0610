// The AVX2 kernels: eight pixels at a time. This file is compiled for AVX2; nothing in it
// runs unless the processor has it.
#include "common/ABitmapSimd.h"

#if defined(__AVX2__)
namespace {

struct V256 {
  using T = __m256i;
  static constexpr int N = 8;
  static constexpr bool kHasByteShuffle = true;
  // Each pixel's transparency byte in the high byte of its four 16-bit lanes (low byte 0),
  // in the lane order of UnpackLo8 / UnpackHi8.
  static T SpreadAlphaHighLo(T s) {
    const T ctl = _mm256_setr_epi8(-1, 3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7,  //
                                   -1, 3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7);
    return _mm256_shuffle_epi8(s, ctl);
  }
  static T SpreadAlphaHighHi(T s) {
    const T ctl = _mm256_setr_epi8(-1, 11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15,  //
                                   -1, 11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15);
    return _mm256_shuffle_epi8(s, ctl);
  }
  static T MulHiU16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  static T Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
  static T LoadBytes32(const uint8_t* p) {
    return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
  }
  static T Zero() { return _mm256_setzero_si256(); }
  static T Ones() { return _mm256_set1_epi32(-1); }
  static T Set16(short v) { return _mm256_set1_epi16(v); }
  static T Set32(int v) { return _mm256_set1_epi32(v); }
  static T UnpackLo8(T a, T b) { return _mm256_unpacklo_epi8(a, b); }
  static T UnpackHi8(T a, T b) { return _mm256_unpackhi_epi8(a, b); }
  static T UnpackLo32(T a, T b) { return _mm256_unpacklo_epi32(a, b); }
  static T UnpackHi32(T a, T b) { return _mm256_unpackhi_epi32(a, b); }
  static T PackUS16(T a, T b) { return _mm256_packus_epi16(a, b); }
  static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T Mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  static T MulHi16(T a, T b) { return _mm256_mulhi_epi16(a, b); }
  static T SubSatU16(T a, T b) { return _mm256_subs_epu16(a, b); }
  template <int K> static T Srli16(T a) { return _mm256_srli_epi16(a, K); }
  template <int K> static T Slli16(T a) { return _mm256_slli_epi16(a, K); }
  static T Srl16(T a, __m128i k) { return _mm256_srl_epi16(a, k); }
  static T Sll16(T a, __m128i k) { return _mm256_sll_epi16(a, k); }
  static T Add32(T a, T b) { return _mm256_add_epi32(a, b); }
  static T Sub32(T a, T b) { return _mm256_sub_epi32(a, b); }
  template <int K> static T Srli32(T a) { return _mm256_srli_epi32(a, K); }
  template <int K> static T Slli32(T a) { return _mm256_slli_epi32(a, K); }
  static T CmpEq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
  static T CmpGt32(T a, T b) { return _mm256_cmpgt_epi32(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  static T AndNot(T a, T b) { return _mm256_andnot_si256(a, b); }
  static T Select(T mask, T a, T b) { return _mm256_blendv_epi8(b, a, mask); }
  static bool All(T mask) { return _mm256_movemask_epi8(mask) == -1; }
};

}  // namespace

const TPixelKernels* AVX2Kernels() {
  if (!__builtin_cpu_supports("avx2")) return nullptr;
  static const TPixelKernels kernels = SimdKernels<V256>::Table("avx2");
  return &kernels;
}
#else
const TPixelKernels* AVX2Kernels() { return nullptr; }
#endif
