#include "common/ABitmapEtcs.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/SuperString2.h"

namespace {

// A 40x40 destination seen through a window into a larger buffer, so that a write
// outside the destination would show in the margin.
struct Framed {
  static constexpr int kOuter = 80, kMargin = 20, kSide = 40;
  std::vector<uint32_t> Buffer = std::vector<uint32_t>(kOuter * kOuter, 0xDEADBEEF);
  TBitmapData View{kSide, kSide, 32, kOuter * 4,
                   reinterpret_cast<uint8_t*>(Buffer.data() + kMargin * kOuter + kMargin)};
  TABitmap Dest;
  Framed() {
    Dest.Attach(&View);
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) At(x, y) = 0x11223344;
  }
  uint32_t& At(int x, int y) { return Buffer[size_t((y + kMargin) * kOuter + x + kMargin)]; }
  bool MarginUntouched() const {
    for (int y = 0; y < kOuter; ++y)
      for (int x = 0; x < kOuter; ++x) {
        const bool inside = x >= kMargin && x < kMargin + kSide && y >= kMargin && y < kMargin + kSide;
        if (!inside && Buffer[size_t(y * kOuter + x)] != 0xDEADBEEF) return false;
      }
    return true;
  }
  int Count(uint32_t pixel) {
    int n = 0;
    for (int y = 0; y < kSide; ++y)
      for (int x = 0; x < kSide; ++x) n += At(x, y) == pixel;
    return n;
  }
};

TFont TextFont(TColor color) {
  TFont f;
  f.Name = "ＭＳ ゴシック";
  f.Height = 26;
  f.Color = color;
  return f;
}

TEST(DrawCharAA, ASpaceChangesNothing) {
  Framed f;
  DrawCharAA(f.Dest, 5, 5, u" ", TextFont(0xFFFFFF));
  EXPECT_EQ(f.Count(0x11223344), 40 * 40);
}

TEST(DrawCharAA, CoveredPixelsAreOpaqueInTheFontColour) {
  Framed f;
  DrawCharAA(f.Dest, 5, 5, u"■", TextFont(0x0000FF));  // red
  // The middle of the square is fully covered: red, transparency 0.
  EXPECT_EQ(f.At(17, 17), 0x00FF0000u);
  int partial = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint32_t p = f.At(x, y);
      if (p == 0x11223344) continue;
      EXPECT_EQ(p & 0xFFFFFF, 0xFF0000u);  // colour bytes always the full font colour
      partial += (p >> 24) != 0;
    }
  EXPECT_GT(partial, 0);  // edges carry coverage in the fourth byte
}

TEST(DrawCharAA, NothingIsWrittenOutsideTheDestination) {
  Framed f;
  for (int x : {-20, -5, 0, 25, 35, 39, 45})
    for (int y : {-20, -5, 0, 25, 35, 39, 45}) DrawCharEffect(1, x, y, f.Dest, 0x00FF00, TextFont(0xFFFFFF), u"漢");
  EXPECT_TRUE(f.MarginUntouched());
}

TEST(DrawCharEffect, OutlineLeavesARingAndShadowAnOffset) {
  const uint32_t main = 0x00FFFFFF, edge = 0x0000FF00;  // white, green (transparency 0)
  Framed plain, outline, shadow;
  DrawCharAA(plain.Dest, 10, 5, u"■", TextFont(0xFFFFFF));
  DrawCharEffect(1, 9, 4, outline.Dest, 0x00FF00, TextFont(0xFFFFFF), u"■");
  DrawCharEffect(2, 10, 5, shadow.Dest, 0x00FF00, TextFont(0xFFFFFF), u"■");
  // The outline's main glyph sits at (+1, +1) of the origin, i.e. where the plain one is.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x)
      if (plain.At(x, y) == main) {
        EXPECT_EQ(outline.At(x, y), main) << x << "," << y;
      }
  int ring = 0;
  for (int y = 1; y < 39; ++y)
    for (int x = 1; x < 39; ++x)
      if (outline.At(x, y) == edge) {
        ++ring;
        // Every edge pixel touches the main glyph within one pixel.
        bool near = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) near |= (plain.At(x + dx, y + dy) & 0xFFFFFF) == 0xFFFFFF;
        EXPECT_TRUE(near) << x << "," << y;
      }
  EXPECT_GT(ring, 0);
  // The shadow shows only where the shifted glyph is not covered by the main one.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const uint32_t p = shadow.At(x, y);
      if ((p & 0xFFFFFF) == 0x00FF00) {
        EXPECT_EQ(plain.At(x, y), 0x11223344u);  // the main glyph does not cover it
        ASSERT_GE(x, 2);
        ASSERT_GE(y, 2);
        EXPECT_NE(plain.At(x - 2, y - 2), 0x11223344u);  // it is the glyph moved by (+2, +2)
      }
    }
  EXPECT_EQ(shadow.At(39, 39), 0x11223344u);
}

TEST(DrawCharEffect, UnknownEffectsDrawNothingAndShakesStayNear) {
  Framed f;
  for (int effect = 7; effect < 256; effect += 31) DrawCharEffect(uint8_t(effect), 5, 5, f.Dest, 0, TextFont(0), u"あ");
  EXPECT_EQ(f.Count(0x11223344), 40 * 40);
  for (uint8_t effect : {3, 4, 5, 6}) DrawCharEffect(effect, 5, 5, f.Dest, 0, TextFont(0xFFFFFF), u"あ");
  EXPECT_LT(f.Count(0x11223344), 40 * 40);
  EXPECT_TRUE(f.MarginUntouched());
}

TEST(DrawCharAA, TheGlyphCacheChangesNoPixel) {
  Framed cached, fresh;
  const WideString text = u"あ漢Ag①?";
  ClearGlyphCache();
  for (int pass = 0; pass < 2; ++pass)  // the second pass draws from the cache
    for (size_t i = 0; i < text.size(); ++i)
      DrawCharEffect(2, int(i) * 5, 3, cached.Dest, 0x2B1919, TextFont(0xFFFFFF), WideString(1, text[i]));
  SetGlyphCacheEnabled(false);
  for (size_t i = 0; i < text.size(); ++i)
    DrawCharEffect(2, int(i) * 5, 3, fresh.Dest, 0x2B1919, TextFont(0xFFFFFF), WideString(1, text[i]));
  SetGlyphCacheEnabled(true);
  EXPECT_EQ(cached.Buffer, fresh.Buffer);
}

TEST(SStrCharPositions, CountsWholeCharactersWithinTheLimit) {
  TBitmap b;
  TCanvas& canvas = b.Canvas();
  TFont font = TextFont(0);
  canvas.Font = font;
  const int32_t w = canvas.TextWidth(u"あ");
  ASSERT_GT(w, 10);
  TDrawSStrOptions o;
  o.Font = &font;
  o.Spacing = 1;
  const WideString text = u"ああああああああああ";
  const SString2 s{text, text, nullptr};
  TDrawSStrPosArray p;
  EXPECT_EQ(SStrCharPositions(-1, canvas, s, p, o), 10);
  ASSERT_EQ(p.size(), 11u);
  EXPECT_EQ(p[10].x, 10 * (w + 1));
  EXPECT_EQ(SStrCharPositions(3, canvas, s, p, o), 3);
  EXPECT_EQ(p.size(), 4u);
  o.MaxWidth = 3 * (w + 1) - 1;  // the third character ends exactly there
  EXPECT_EQ(SStrCharPositions(-1, canvas, s, p, o), 3);
  EXPECT_EQ(p.size(), 4u);
  o.MaxWidth -= 1;
  EXPECT_EQ(SStrCharPositions(-1, canvas, s, p, o), 2);
  EXPECT_EQ(SStrCharPositions(-1, canvas, SString2{}, p, o), 0);
  EXPECT_EQ(p.size(), 1u);
}
}  // namespace
