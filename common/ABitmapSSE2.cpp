// The SSE2 kernels: four pixels at a time.
#include "common/ABitmapSimd.h"

#if defined(__SSE2__)
namespace {

struct V128 {
  using T = __m128i;
  static constexpr int N = 4;
  static constexpr bool kHasByteShuffle = false;
  static T SpreadAlphaHighLo(T) { return T(); }
  static T SpreadAlphaHighHi(T) { return T(); }
  static T MulHiU16(T a, T b) { return _mm_mulhi_epu16(a, b); }
  static T Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
  // Four mask bytes widened to the four 32-bit lanes.
  static T LoadBytes32(const uint8_t* p) {
    int32_t bytes;
    __builtin_memcpy(&bytes, p, 4);
    const T z = _mm_setzero_si128();
    return _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), z), z);
  }
  static T Zero() { return _mm_setzero_si128(); }
  static T Ones() { return _mm_set1_epi32(-1); }
  static T Set16(short v) { return _mm_set1_epi16(v); }
  static T Set32(int v) { return _mm_set1_epi32(v); }
  static T UnpackLo8(T a, T b) { return _mm_unpacklo_epi8(a, b); }
  static T UnpackHi8(T a, T b) { return _mm_unpackhi_epi8(a, b); }
  static T UnpackLo32(T a, T b) { return _mm_unpacklo_epi32(a, b); }
  static T UnpackHi32(T a, T b) { return _mm_unpackhi_epi32(a, b); }
  static T PackUS16(T a, T b) { return _mm_packus_epi16(a, b); }
  static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static T Mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
  static T MulHi16(T a, T b) { return _mm_mulhi_epi16(a, b); }
  static T SubSatU16(T a, T b) { return _mm_subs_epu16(a, b); }
  template <int K> static T Srli16(T a) { return _mm_srli_epi16(a, K); }
  template <int K> static T Slli16(T a) { return _mm_slli_epi16(a, K); }
  static T Srl16(T a, __m128i k) { return _mm_srl_epi16(a, k); }
  static T Sll16(T a, __m128i k) { return _mm_sll_epi16(a, k); }
  static T Add32(T a, T b) { return _mm_add_epi32(a, b); }
  static T Sub32(T a, T b) { return _mm_sub_epi32(a, b); }
  template <int K> static T Srli32(T a) { return _mm_srli_epi32(a, K); }
  template <int K> static T Slli32(T a) { return _mm_slli_epi32(a, K); }
  static T CmpEq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
  static T CmpGt32(T a, T b) { return _mm_cmpgt_epi32(a, b); }
  static T Or(T a, T b) { return _mm_or_si128(a, b); }
  static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  static T AndNot(T a, T b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static T Select(T mask, T a, T b) { return _mm_or_si128(_mm_and_si128(mask, a), _mm_andnot_si128(mask, b)); }
  static bool All(T mask) { return _mm_movemask_epi8(mask) == 0xFFFF; }
};

}  // namespace

const TPixelKernels* SSE2Kernels() {
  static const TPixelKernels kernels = SimdKernels<V128>::Table("sse2");
  return &kernels;
}
#else
const TPixelKernels* SSE2Kernels() { return nullptr; }
#endif
