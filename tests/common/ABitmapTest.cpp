#include "common/ABitmap.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "common/ABitmapKernels.h"

namespace {

uint32_t Px(uint8_t b, uint8_t g, uint8_t r, uint8_t t) { return b | g << 8 | r << 16 | uint32_t(t) << 24; }

struct Bmp : TABitmap {
  Bmp(int w, int h, uint32_t fill = 0) {
    SetSize(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) At(x, y) = fill;
  }
  uint32_t& At(int x, int y) { return reinterpret_cast<uint32_t*>(ScanLine(y))[x]; }
};

// Runs each boundary test on every kernel set the processor has.
class Blits : public testing::TestWithParam<const TPixelKernels*> {
 protected:
  void SetUp() override { UseKernels(*GetParam()); }
  void TearDown() override { UseKernels(ReferenceKernels()); }
};

std::vector<const TPixelKernels*> KernelSets() {
  std::vector<const TPixelKernels*> k{&ReferenceKernels()};
  if (SSE2Kernels()) k.push_back(SSE2Kernels());
  if (AVX2Kernels()) k.push_back(AVX2Kernels());
  return k;
}

INSTANTIATE_TEST_SUITE_P(Kernels, Blits, testing::ValuesIn(KernelSets()),
                         [](const testing::TestParamInfo<const TPixelKernels*>& i) { return i.param->Name; });

// Nine pixels of one colour over nine of another, so every SIMD width sees full vectors
// and a tail.
uint32_t Blend(void (TABitmap::*op)(TABitmap&, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) const, uint32_t s,
               uint32_t d) {
  Bmp src(9, 1, s), dst(9, 1, d);
  (src.*op)(dst, 0, 0, 9, 1, 0, 0);
  for (int x = 1; x < 9; ++x) EXPECT_EQ(dst.At(x, 0), dst.At(0, 0));
  return dst.At(0, 0);
}

TEST_P(Blits, DrawAlphaUsesTheTopSevenBitsOfTransparency) {
  const uint32_t white = Px(255, 255, 255, 0), black = Px(0, 0, 0, 0);
  EXPECT_EQ(Blend(&TABitmap::DrawAlpha, white, black), Px(253, 253, 253, 0));
  EXPECT_EQ(Blend(&TABitmap::DrawAlpha, Px(255, 255, 255, 1), black), Px(253, 253, 253, 0));
  EXPECT_EQ(Blend(&TABitmap::DrawAlpha, Px(200, 100, 50, 254), Px(1, 2, 3, 4)), Px(1, 2, 3, 4));
  EXPECT_EQ(Blend(&TABitmap::DrawAlpha, Px(200, 100, 50, 255), Px(1, 2, 3, 4)), Px(1, 2, 3, 4));
  // A = 128: w = 65, (s*63 + d*65) >> 7 per byte, the transparency byte included.
  EXPECT_EQ(Blend(&TABitmap::DrawAlpha, Px(200, 0, 255, 128), Px(0, 200, 255, 0)),
            Px(200 * 63 >> 7, 200 * 65 >> 7, 255, 128 * 63 >> 7));
}

TEST_P(Blits, DrawAlphaSpriteCopiesOpaqueAndSkipsTransparent) {
  const uint32_t d = Px(9, 8, 7, 6);
  EXPECT_EQ(Blend(&TABitmap::DrawAlphaSprite, Px(200, 100, 50, 254), d), d);
  EXPECT_EQ(Blend(&TABitmap::DrawAlphaSprite, Px(200, 100, 50, 255), d), d);
  EXPECT_EQ(Blend(&TABitmap::DrawAlphaSprite, Px(200, 100, 50, 1), d), Px(200, 100, 50, 1));
  EXPECT_EQ(Blend(&TABitmap::DrawAlphaSprite, Px(200, 100, 50, 0), d), Px(200, 100, 50, 0));
  EXPECT_EQ(Blend(&TABitmap::DrawAlphaSprite, Px(255, 255, 255, 2), Px(0, 0, 0, 0)), Px(251, 251, 251, 1));
}

TEST_P(Blits, OpacityBlitsWeighWithTwoHundredFiftyFive) {
  Bmp src(9, 1, Px(255, 255, 255, 0)), dst(9, 1, Px(0, 0, 0, 0));
  src.DrawAlphaOpacity(dst, 0, 0, 9, 1, 0, 0, 255);
  EXPECT_EQ(dst.At(8, 0), Px(254, 254, 254, 0));
  Bmp full(9, 1, Px(255, 255, 255, 255));
  src.DrawAlphaOpacity(full, 0, 0, 9, 1, 0, 0, 0);  // k = 0: d*255 >> 8
  EXPECT_EQ(full.At(8, 0), Px(254, 254, 254, 254));
  Bmp hidden(9, 1, Px(1, 2, 3, 255)), under(9, 1, Px(10, 20, 30, 40));
  hidden.DrawAlphaOpacitySprite(under, 0, 0, 9, 1, 0, 0, 255);
  EXPECT_EQ(under.At(8, 0), Px(10, 20, 30, 40));
  hidden.DrawAlphaOpacity(under, 0, 0, 9, 1, 0, 0, 255);
  EXPECT_EQ(under.At(8, 0), Px(9, 19, 29, 39));
  // Opacities past 255 draw as 255.
  Bmp half(9, 1, Px(255, 255, 255, 128)), a(9, 1, Px(10, 20, 30, 40)), b(9, 1, Px(10, 20, 30, 40));
  half.DrawAlphaOpacitySprite(a, 0, 0, 9, 1, 0, 0, 65535);
  half.DrawAlphaOpacitySprite(b, 0, 0, 9, 1, 0, 0, 255);
  EXPECT_EQ(a.At(8, 0), b.At(8, 0));
  half.DrawAlphaOpacity(a, 0, 0, 9, 1, 0, 0, 256);
  half.DrawAlphaOpacity(b, 0, 0, 9, 1, 0, 0, 255);
  EXPECT_EQ(a.At(8, 0), b.At(8, 0));
}

TEST_P(Blits, MaskTransitionRampsOverTwoToTheShiftLevels) {
  auto run = [](uint8_t m, uint16_t level, uint16_t shift) {
    Bmp src(9, 1, Px(160, 160, 160, 0)), dst(9, 1, Px(0, 0, 0, 16));
    TBitmap mask;
    mask.SetPixelFormat(pf8bit);
    mask.SetSize(9, 1);
    std::memset(mask.ScanLine(0), m, 9);
    src.DrawMaskTransition(dst, 0, 0, 9, 1, 0, 0, mask, level, shift);
    return dst.At(8, 0);
  };
  const uint32_t s = Px(160, 160, 160, 0), d = Px(0, 0, 0, 16);
  EXPECT_EQ(run(0, 0, 4), d);                            // level 0 changes nothing
  EXPECT_EQ(run(255, 255, 4), Px(150, 150, 150, 1));  // L = 270, t = 15: (160*15 + d*1) >> 4
  EXPECT_EQ(run(254, 255, 4), s);                      // t = 16 = R: the source by the formula
  EXPECT_EQ(run(253, 255, 4), s);                      // t > R: copied
  EXPECT_EQ(run(100, 90, 4), d);                       // L = 95, below the mask value
  EXPECT_EQ(run(0, 0, 0), d);                          // shift 0: t = 0 keeps the destination
  EXPECT_EQ(run(10, 10, 0), Px(0, 0, 0, 16));          // L = (10*257) >> 8 = 10: t = 0
  EXPECT_EQ(run(0, 1, 0), s);                          // L = 1: t = 1 = R
  EXPECT_EQ(run(255, 255, 8), Px(159, 159, 159, 0));   // L = 510, t = 255 of R = 256
}

TEST_P(Blits, BlendFillRectKeepsAlphaZeroExact) {
  Bmp b(9, 3, Px(200, 200, 200, 200));
  b.BlendFillRect(0, 1, 9, 1, 0x000000, 180);
  EXPECT_EQ(b.At(4, 1), Px(59, 59, 59, 59));
  EXPECT_EQ(b.At(4, 0), Px(200, 200, 200, 200));
  b.BlendFillRect(-5, -5, 100, 100, 0x123456, 0);
  EXPECT_EQ(b.At(4, 1), Px(59, 59, 59, 59));
  b.BlendFillRect(0, 0, 9, 1, 0x0000FF, 255);  // red, colour layout red in the low byte
  EXPECT_EQ(b.At(0, 0), Px((200 * 1) >> 8, (200 * 1) >> 8, (200 + 255 * 255) >> 8, (200 * 1) >> 8));
}

TEST(ABitmap, FillsUseTheirArgumentOrders) {
  Bmp b(3, 2);
  b.FillRGBA(255, 255, 255, 0);
  EXPECT_EQ(b.At(2, 1), Px(255, 255, 255, 255));
  b.FillRGBA(255, 255, 0, 255);
  EXPECT_EQ(b.At(2, 1), Px(0, 255, 255, 0));
  b.FillRGB(1, 2, 3);
  EXPECT_EQ(b.At(0, 0), Px(1, 2, 3, 0));
  b.FillColor(0x030201);  // red 1, green 2, blue 3
  EXPECT_EQ(b.At(1, 1), Px(3, 2, 1, 0));
  b.FillRGBA(0, 0, 0, 0);
  EXPECT_EQ(b.At(1, 1), Px(0, 0, 0, 255));
  uint8_t bl, gr, rd;
  SplitColor(0x112233, bl, gr, rd);
  EXPECT_EQ(bl, 0x11);
  EXPECT_EQ(gr, 0x22);
  EXPECT_EQ(rd, 0x33);
}

TEST(ABitmap, ClipToDestCutsAtEveryEdge) {
  struct Case {
    int sx, sy, w, h, dx, dy;
    bool draws;
    int esx = 0, esy = 0, ew = 0, eh = 0, edx = 0, edy = 0;
  } cases[] = {
      {0, 0, 10, 10, -3, 0, true, 3, 0, 7, 10, 0, 0},      // left edge moves the source start
      {0, 0, 10, 10, 0, -4, true, 0, 4, 10, 6, 0, 0},      // top edge
      {0, 0, 10, 10, 95, 0, true, 0, 0, 5, 10, 95, 0},     // right edge
      {0, 0, 10, 10, 0, 55, true, 0, 0, 10, 5, 0, 55},     // bottom edge
      {0, 0, 300, 10, -50, 0, true, 50, 0, 100, 10, 0, 0}, // wider than the destination: both edges
      {0, 0, 10, 10, -10, 0, false},                       // entirely left
      {0, 0, 10, 10, 0, -10, false},                       // entirely above
      {0, 0, 10, 10, 100, 0, false},                       // starts at the right edge
      {0, 0, 10, 10, 0, 60, false},                        // starts at the bottom edge
      {0, 0, 0, 10, 5, 5, false},                          // zero width
      {0, 0, 10, 0, 5, 5, false},                          // zero height
  };
  for (const Case& c : cases) {
    int sx = c.sx, sy = c.sy, w = c.w, h = c.h, dx = c.dx, dy = c.dy;
    ASSERT_EQ(ClipToDest(sx, sy, w, h, dx, dy, 100, 60), c.draws) << c.dx << "," << c.dy;
    if (!c.draws) continue;
    EXPECT_EQ(sx, c.esx);
    EXPECT_EQ(sy, c.esy);
    EXPECT_EQ(w, c.ew);
    EXPECT_EQ(h, c.eh);
    EXPECT_EQ(dx, c.edx);
    EXPECT_EQ(dy, c.edy);
  }
}

TEST(ABitmap, ClippedBlitTouchesOnlyTheDestinationArea) {
  Bmp src(5, 5, Px(0, 0, 0, 0)), dst(4, 4, Px(7, 7, 7, 7));
  src.DrawAlphaSprite(dst, -2, 3, 5, 5, 0, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(dst.At(x, y), (y == 3 && x < 3) ? Px(0, 0, 0, 0) : Px(7, 7, 7, 7));
  TABitmap empty;
  src.DrawAlpha(empty, 0, 0, 5, 5, 0, 0);  // no image: nothing happens
  empty.DrawAlpha(dst, 0, 0, 5, 5, 0, 0);
  empty.FillRGB(1, 2, 3);
}

TEST(ABitmap, ExtractMask8TakesTheBlueBytes) {
  TABitmap src;
  src.SetSize(3, 2);
  reinterpret_cast<uint32_t*>(src.ScanLine(1))[2] = Px(42, 1, 2, 3);
  TBitmap mask;
  ExtractMask8(src, mask);
  EXPECT_EQ(mask.PixelFormat(), pf8bit);
  EXPECT_EQ(src.PixelFormat(), pf24bit);
  EXPECT_EQ(mask.Width(), 3);
  EXPECT_EQ(mask.ScanLine(1)[2], 42);
}

// Every fast kernel gives the reference's bytes.
class FastKernels : public testing::TestWithParam<const TPixelKernels*> {};

std::vector<const TPixelKernels*> FastSets() {
  std::vector<const TPixelKernels*> k;
  if (SSE2Kernels()) k.push_back(SSE2Kernels());
  if (AVX2Kernels()) k.push_back(AVX2Kernels());
  return k;
}

INSTANTIATE_TEST_SUITE_P(Kernels, FastKernels, testing::ValuesIn(FastSets()),
                         [](const testing::TestParamInfo<const TPixelKernels*>& i) { return i.param->Name; });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FastKernels);

uint32_t RandomPixel(std::mt19937& rng) {
  static const uint8_t special[] = {0, 1, 2, 126, 127, 128, 129, 253, 254, 255};
  uint32_t p = rng();
  if (rng() % 2) p = (p & 0xFFFFFF) | uint32_t(special[rng() % 10]) << 24;
  if (rng() % 8 == 0) p = rng() % 2 ? 0xFFFFFFFF : 0;
  return p;
}

TEST_P(FastKernels, MatchTheReferenceOnRandomRows) {
  const TPixelKernels& fast = *GetParam();
  const TPixelKernels& ref = ReferenceKernels();
  std::mt19937 rng(1234);
  std::vector<uint32_t> s(80), d0(80), a(80), b(80);
  std::vector<uint8_t> mask(80);
  for (int round = 0; round < 3000; ++round) {
    const int n = int(rng() % 70), off = int(rng() % 8);
    for (auto& p : s) p = RandomPixel(rng);
    for (auto& p : d0) p = RandomPixel(rng);
    for (auto& m : mask) m = uint8_t(rng() % 4 == 0 ? (rng() % 2 ? 255 : 0) : rng());
    // Runs of one transparency or mask value, so that the all-kept and all-copied
    // shortcuts of the fast kernels are taken too.
    for (size_t run = 0; run < s.size() && round % 3 == 0; run += 1 + rng() % 12) {
      const uint32_t a = uint32_t(RandomPixel(rng) >> 24);
      const uint8_t m = uint8_t(rng() % 2 ? rng() : 255 * (rng() % 2));
      for (size_t k = run; k < std::min(s.size(), run + 9); ++k) {
        s[k] = (s[k] & 0xFFFFFF) | a << 24;
        mask[k] = m;
      }
    }
    auto check = [&](const char* what, auto runFast, auto runRef) {
      a = d0;
      b = d0;
      runFast(a.data() + off);
      runRef(b.data() + off);
      ASSERT_EQ(a, b) << what << " n=" << n << " off=" << off << " round=" << round;
    };
    const uint32_t* src = s.data() + (rng() % 4);
    check("DrawAlpha", [&](uint32_t* d) { fast.DrawAlpha(src, d, n); }, [&](uint32_t* d) { ref.DrawAlpha(src, d, n); });
    check("DrawAlphaSprite", [&](uint32_t* d) { fast.DrawAlphaSprite(src, d, n); },
          [&](uint32_t* d) { ref.DrawAlphaSprite(src, d, n); });
    const uint32_t opacity = uint32_t(round % 256);
    check("DrawAlphaOpacity", [&](uint32_t* d) { fast.DrawAlphaOpacity(src, d, n, opacity); },
          [&](uint32_t* d) { ref.DrawAlphaOpacity(src, d, n, opacity); });
    check("DrawAlphaOpacitySprite", [&](uint32_t* d) { fast.DrawAlphaOpacitySprite(src, d, n, opacity); },
          [&](uint32_t* d) { ref.DrawAlphaOpacitySprite(src, d, n, opacity); });
    const uint32_t shift = uint32_t(round % 9);
    uint32_t level = ((uint32_t(rng() % 300) * ((1u << shift) + 256)) >> 8) & 0xFFFF;
    if (round % 7 == 0) level = rng() % 2 ? rng() & 0xFFFF : 255 + (1u << shift) - rng() % 3;
    check("DrawMaskTransition", [&](uint32_t* d) { fast.DrawMaskTransition(src, d, mask.data(), n, level, shift); },
          [&](uint32_t* d) { ref.DrawMaskTransition(src, d, mask.data(), n, level, shift); });
    const uint32_t fill = rng() & 0xFFFFFF;
    check("BlendFill", [&](uint32_t* d) { fast.BlendFill(d, n, fill, opacity); },
          [&](uint32_t* d) { ref.BlendFill(d, n, fill, opacity); });
  }
}

TEST_P(FastKernels, MatchTheReferenceOnClippedBitmaps) {
  std::mt19937 rng(99);
  for (int round = 0; round < 300; ++round) {
    const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 12), dw = 1 + int(rng() % 40), dh = 1 + int(rng() % 12);
    Bmp src(sw, sh), d0(dw, dh);
    TBitmap mask;
    mask.SetPixelFormat(pf8bit);
    mask.SetSize(dw, dh);
    for (int y = 0; y < sh; ++y)
      for (int x = 0; x < sw; ++x) src.At(x, y) = RandomPixel(rng);
    for (int y = 0; y < dh; ++y) {
      for (int x = 0; x < dw; ++x) d0.At(x, y) = RandomPixel(rng);
      for (int x = 0; x < dw; ++x) mask.ScanLine(y)[x] = uint8_t(rng());
    }
    const int dx = int(rng() % 50) - 20, dy = int(rng() % 16) - 6, w = int(rng() % 45), h = int(rng() % 14);
    const int sx = int(rng() % sw), sy = int(rng() % sh);
    const uint16_t opacity = uint16_t(rng() % 256), level = uint16_t(rng() % 300), shift = uint16_t(rng() % 9);
    auto run = [&](const TPixelKernels& k, Bmp& d) {
      UseKernels(k);
      switch (round % 6) {
        case 0: src.DrawAlpha(d, dx, dy, w, h, sx, sy); break;
        case 1: src.DrawAlphaSprite(d, dx, dy, w, h, sx, sy); break;
        case 2: src.DrawAlphaOpacity(d, dx, dy, w, h, sx, sy, opacity); break;
        case 3: src.DrawAlphaOpacitySprite(d, dx, dy, w, h, sx, sy, opacity); break;
        case 4: src.DrawMaskTransition(d, dx, dy, w, h, sx, sy, mask, level, shift); break;
        default: d.BlendFillRect(dx, dy, w, h, rng() & 0xFFFFFF, uint8_t(opacity)); break;
      }
    };
    Bmp a(dw, dh), b(dw, dh);
    a.Assign(d0);
    b.Assign(d0);
    std::mt19937 keep = rng;
    run(*GetParam(), a);
    rng = keep;
    run(ReferenceKernels(), b);
    for (int y = 0; y < dh; ++y)
      ASSERT_EQ(std::memcmp(a.ScanLine(y), b.ScanLine(y), size_t(dw) * 4), 0) << "round " << round;
  }
  UseKernels(ReferenceKernels());
}
}  // namespace
