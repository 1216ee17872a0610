// The SSE2 kernels: four pixels at a time.
#include "common/ABitmapSimd.h"

#if defined(__SSE2__)
namespace {

struct V128 {
  using T = __m128i;
  // MoveMask's bit for the first byte of each pixel.
  static constexpr uint32_t kPixelBits = 0x1111u;
  static constexpr int N = 4;
  static T Load(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
  static void Store(uint32_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
  // Four mask bytes, each in both 16-bit halves of its pixel's lane.
  static T LoadMaskPairs(const uint8_t* p) {
    int32_t bytes;
    __builtin_memcpy(&bytes, p, 4);
    const T w = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bytes), _mm_setzero_si128());
    return _mm_unpacklo_epi16(w, w);
  }
  // Eight mask bytes so, the first four in lo.
  static void LoadMaskPairs2(const uint8_t* p, T& lo, T& hi) {
    const T m = _mm_loadl_epi64(reinterpret_cast<const T*>(p));
    const T pairs = _mm_unpacklo_epi8(m, m), z = _mm_setzero_si128();
    lo = _mm_unpacklo_epi8(pairs, z);
    hi = _mm_unpackhi_epi8(pairs, z);
  }
  // Each lane's high 16-bit half in both halves; the low halves must be zero.
  static T HighToBoth(T a) { return _mm_or_si128(a, _mm_srli_epi32(a, 16)); }
  static T Zero() { return _mm_setzero_si128(); }
  static T Set16(short v) { return _mm_set1_epi16(v); }
  static T Set32(int v) { return _mm_set1_epi32(v); }
  static T Add16(T a, T b) { return _mm_add_epi16(a, b); }
  static T Sub16(T a, T b) { return _mm_sub_epi16(a, b); }
  static T Mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
  static T MulHiU16(T a, T b) { return _mm_mulhi_epu16(a, b); }
  static T Min16(T a, T b) { return _mm_min_epi16(a, b); }  // signed
  static T SubSatU16(T a, T b) { return _mm_subs_epu16(a, b); }
  template <int K> static T Srli16(T a) { return _mm_srli_epi16(a, K); }
  static T Sll16(T a, __m128i k) { return _mm_sll_epi16(a, k); }
  static T CmpEq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
  static T And(T a, T b) { return _mm_and_si128(a, b); }
  static T Or(T a, T b) { return _mm_or_si128(a, b); }
  static T Xor(T a, T b) { return _mm_xor_si128(a, b); }
  static T AndNot(T a, T b) { return _mm_andnot_si128(a, b); }  // ~a & b
  static T CmpEq8(T a, T b) { return _mm_cmpeq_epi8(a, b); }
  static T CmpEq16(T a, T b) { return _mm_cmpeq_epi16(a, b); }
  static uint32_t MoveMask(T a) { return uint32_t(_mm_movemask_epi8(a)); }
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
