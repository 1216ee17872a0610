// The transitions composed in one pass give the bytes the blits give one after another,
// with every kernel set, on seeded random pictures.
#include "engine/KNEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/ABitmapKernels.h"

namespace {

std::vector<const TPixelKernels*> Sets() {
  std::vector<const TPixelKernels*> sets{&ReferenceKernels()};
  if (SSE2Kernels()) sets.push_back(SSE2Kernels());
  if (AVX2Kernels()) sets.push_back(AVX2Kernels());
  return sets;
}

// Pixels in runs that are wholly transparent, wholly opaque or mixed, so that the kernels'
// shortcuts for whole vectors are taken as well as their blends.
void Randomize(TABitmap& b, int w, int h, std::mt19937& random) {
  b.SetPixelFormat(pf32bit);
  b.SetSize(w, h);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(b.ScanLine(y));
    for (int x = 0; x < w;) {
      const int run = 1 + int(random() % 24), kind = int(random() % 4);
      for (int k = 0; k < run && x < w; ++k, ++x) {
        const uint32_t rgb = random() & 0xFFFFFF;
        const uint32_t t = kind == 0 ? 255 : kind == 1 ? 0 : kind == 2 ? 1 : random() & 255;
        row[x] = rgb | t << 24;
      }
    }
  }
}

void RandomMask(TBitmap& m, int w, int h, std::mt19937& random) {
  m.SetPixelFormat(pf8bit);
  m.SetSize(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) m.ScanLine(y)[x] = uint8_t(random() % 3 == 0 ? x * 7 : random());
}

std::string Bytes(const TABitmap& b) {
  std::string s;
  for (int y = 0; y < b.Height(); ++y) s.append(reinterpret_cast<const char*>(b.ScanLine(y)), size_t(b.Width()) * 4);
  return s;
}

struct KernelScope {
  explicit KernelScope(const TPixelKernels& k) { UseKernels(k); }
  ~KernelScope() { UseKernels(ReferenceKernels()); }
};

class Transitions : public testing::Test {
 protected:
  std::mt19937 FRandom{20261209};
};

TEST_F(Transitions, ACrossFadeInOnePassIsTheTwoBlitsByteForByte) {
  for (const auto& [w, h] : {std::pair{37, 5}, {800, 3}, {8, 2}, {1, 1}, {67, 9}}) {
    for (const uint16_t level : {0, 1, 77, 128, 254, 255, 300}) {
      TABitmap outgoing, incoming, output;
      Randomize(outgoing, w, h, FRandom);
      Randomize(incoming, w, h, FRandom);
      Randomize(output, w, h, FRandom);
      TABitmap expected;
      expected.Assign(output);
      {
        const KernelScope reference(ReferenceKernels());
        outgoing.DrawAlphaSprite(expected, 0, 0, w, h, 0, 0);
        incoming.DrawAlphaOpacitySprite(expected, 0, 0, w, h, 0, 0, level);
      }
      for (const TPixelKernels* set : Sets()) {
        const KernelScope use(*set);
        TABitmap got;
        got.Assign(output);
        DrawCrossFade(got, &outgoing, &incoming, level);
        EXPECT_EQ(Bytes(got), Bytes(expected)) << set->Name << " " << w << "x" << h << " level " << level;
      }
    }
  }
}

TEST_F(Transitions, AMaskTransitionInOnePassIsTheCopyAndTheTwoBlitsByteForByte) {
  struct Case {
    int W, H, MaskW, MaskH;
  };
  // Masks of the frame's size, smaller (what they miss keeps the outgoing picture) and larger.
  for (const Case c : {Case{37, 5, 37, 5}, {800, 2, 800, 2}, {41, 6, 20, 3}, {16, 4, 50, 9}, {9, 3, 0, 0}}) {
    for (const uint16_t shift : {0, 1, 3, 8}) {
      for (const uint16_t level : {0, 1, 100, 200, 255}) {
        TABitmap outgoing, incoming, output, composite;
        Randomize(outgoing, c.W, c.H, FRandom);
        Randomize(incoming, c.W, c.H, FRandom);
        Randomize(output, c.W, c.H, FRandom);
        Randomize(composite, c.W, c.H, FRandom);
        TBitmap mask;
        RandomMask(mask, c.MaskW, c.MaskH, FRandom);
        TABitmap expected, expectedComposite;
        expected.Assign(output);
        expectedComposite.Assign(composite);
        {
          const KernelScope reference(ReferenceKernels());
          for (int y = 0; y < c.H; ++y) std::memcpy(expectedComposite.ScanLine(y), outgoing.ScanLine(y), size_t(c.W) * 4);
          incoming.DrawMaskTransition(expectedComposite, 0, 0, c.W, c.H, 0, 0, mask, level, shift);
          expectedComposite.DrawAlpha(expected, 0, 0, c.W, c.H, 0, 0);
        }
        for (const TPixelKernels* set : Sets()) {
          const KernelScope use(*set);
          TABitmap got, gotComposite;
          got.Assign(output);
          gotComposite.Assign(composite);
          DrawMaskFade(got, gotComposite, outgoing, incoming, mask, level, shift);
          const std::string what = std::string(set->Name) + " " + std::to_string(c.W) + "x" + std::to_string(c.H) +
                                   " mask " + std::to_string(c.MaskW) + "x" + std::to_string(c.MaskH) + " shift " +
                                   std::to_string(shift) + " level " + std::to_string(level);
          EXPECT_EQ(Bytes(got), Bytes(expected)) << what;
          EXPECT_EQ(Bytes(gotComposite), Bytes(expectedComposite)) << what;
        }
      }
    }
  }
}

TEST_F(Transitions, PicturesOfAnotherSizeOrOneMissingGoThroughTheBlits) {
  TABitmap outgoing, incoming, output;
  Randomize(outgoing, 30, 4, FRandom);
  Randomize(incoming, 20, 6, FRandom);  // smaller and taller than the output
  Randomize(output, 25, 5, FRandom);
  TABitmap expected;
  expected.Assign(output);
  outgoing.DrawAlphaSprite(expected, 0, 0, 30, 4, 0, 0);
  incoming.DrawAlphaOpacitySprite(expected, 0, 0, 20, 6, 0, 0, 90);
  TABitmap got;
  got.Assign(output);
  DrawCrossFade(got, &outgoing, &incoming, 90);
  EXPECT_EQ(Bytes(got), Bytes(expected));
  // Only the incoming scene: it fades in over what the output holds.
  expected.Assign(output);
  incoming.DrawAlphaOpacitySprite(expected, 0, 0, 20, 6, 0, 0, 90);
  got.Assign(output);
  DrawCrossFade(got, nullptr, &incoming, 90);
  EXPECT_EQ(Bytes(got), Bytes(expected));
}

}  // namespace
