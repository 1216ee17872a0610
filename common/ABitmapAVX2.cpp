// The AVX2 kernels: eight pixels at a time. This file is compiled for AVX2; nothing in it
// runs unless the processor has it.
#include "common/ABitmapSimd.h"

#if defined(__AVX2__)
namespace {

struct V256 {
  using T = __m256i;
  // MoveMask's bit for the first byte of each pixel.
  static constexpr uint32_t kPixelBits = 0x11111111u;
  static constexpr int N = 8;
  static T Load(const uint32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
  // Eight mask bytes, each in both 16-bit halves of its pixel's lane.
  static T LoadMaskPairs(const uint8_t* p) {
    const __m128i m = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(m, m));
  }
  // Sixteen mask bytes so, the first eight in lo.
  static void LoadMaskPairs2(const uint8_t* p, T& lo, T& hi) {
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    lo = _mm256_cvtepu8_epi16(_mm_unpacklo_epi8(m, m));
    hi = _mm256_cvtepu8_epi16(_mm_unpackhi_epi8(m, m));
  }
  // Each lane's high 16-bit half in both halves.
  static T HighToBoth(T a) {
    const T ctl = _mm256_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15,  //
                                   2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
    return _mm256_shuffle_epi8(a, ctl);
  }
  static T Zero() { return _mm256_setzero_si256(); }
  static T Set16(short v) { return _mm256_set1_epi16(v); }
  static T Set32(int v) { return _mm256_set1_epi32(v); }
  static T Add16(T a, T b) { return _mm256_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
  static T Mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
  static T MulHiU16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
  static T Min16(T a, T b) { return _mm256_min_epi16(a, b); }  // signed
  static T SubSatU16(T a, T b) { return _mm256_subs_epu16(a, b); }
  template <int K> static T Srli16(T a) { return _mm256_srli_epi16(a, K); }
  static T Sll16(T a, __m128i k) { return _mm256_sll_epi16(a, k); }
  static T CmpEq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
  static T And(T a, T b) { return _mm256_and_si256(a, b); }
  static T Or(T a, T b) { return _mm256_or_si256(a, b); }
  static T Xor(T a, T b) { return _mm256_xor_si256(a, b); }
  static T AndNot(T a, T b) { return _mm256_andnot_si256(a, b); }  // ~a & b
  static T CmpEq8(T a, T b) { return _mm256_cmpeq_epi8(a, b); }
  static T CmpEq16(T a, T b) { return _mm256_cmpeq_epi16(a, b); }
  static uint32_t MoveMask(T a) { return uint32_t(_mm256_movemask_epi8(a)); }
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
