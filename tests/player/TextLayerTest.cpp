#include "player/TextLayer.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/KNRects.h"
#include "player/SStr2Abitmap.h"
#include "player/SubThread.h"

namespace {

SString2 S(const WideString& t) { return SString2{t, t, nullptr}; }

struct Dirty {
  TRect Store[11];
  TClipRects L{Store, 0, 11};
  void Add(TRect r) { AddRect(&L, &r); }
  void Clear() { L.Count = 0; }
  operator TClipRects&() { return L; }
  operator const TClipRects&() const { return L; }
  bool Covers(int x, int y) const {
    for (int i = 0; i < L.Count; ++i)
      if (x >= Store[i].Left && x < Store[i].Right && y >= Store[i].Top && y < Store[i].Bottom) return true;
    return false;
  }
};

// The message layer as the player sets it up.
struct MessageLayer : TTextLayer {
  MessageLayer() {
    PlaceMessageLayer(*this);
    BackImage.SetSize(756, 192);
    BackImage.FillRGBA(0, 0, 200, 255);  // opaque blue window
  }
  int32_t CharWidth() {
    Page.Canvas().Font = Font;
    return Page.Canvas().TextWidth(u"あ");
  }
  void Tick(Dirty& d, int n = 1) {
    for (int i = 0; i < n; ++i) Update(0, 60, d);
  }
};

TEST(TextLayer, TextExactlyAsWideAsTheLineStaysOnOneLine) {
  MessageLayer t;
  const int32_t w = t.CharWidth();
  const int chars = 10;
  t.SetSize(chars * (w + 1) - 1 + t.MarginLeft + t.MarginRight, t.Height());  // the 10th ends at MaxWidth
  t.AddText(S(WideString(chars, u'あ')));
  EXPECT_EQ(t.State().Lines.size(), 1u);
  t.AddText(S(u"い"));
  ASSERT_EQ(t.State().Lines.size(), 2u);
  EXPECT_EQ(t.State().Lines[1].Text, u"い");
  EXPECT_EQ(t.State().LineTops[1], 26 + 6);
  EXPECT_EQ(t.State().LinePositions[0].size(), size_t(chars) + 1);
}

TEST(TextLayer, ACharacterWiderThanTheLineStillGoesOn) {
  MessageLayer t;
  t.SetSize(t.MarginLeft + t.MarginRight + 5, t.Height());
  t.AddText(S(u"あいう"));
  ASSERT_EQ(t.State().Lines.size(), 3u);
  for (const SString2& l : t.State().Lines) EXPECT_EQ(l.Text.size(), 1u);
}

std::vector<std::u16string> LinesOf(const TTextLayer& t) {
  std::vector<std::u16string> lines;
  for (const SString2& l : t.State().Lines) lines.push_back(l.Text);
  return lines;
}

TEST(TextLayer, ByTheRulesLinesBreakBetweenWordsAndKeepStopsOffALineStart) {
  using Lines = std::vector<std::u16string>;
  MessageLayer t;
  const int32_t w = t.CharWidth();
  t.SetSize(10 * (w + 1) - 1 + t.MarginLeft + t.MarginRight, t.Height());  // ten full-width characters
  // Off, as a story in Shift-JIS breaks: where the next character would pass the line.
  t.AddText(S(u"あいうえおかきくけこ。さしすせそ"));
  EXPECT_EQ(LinesOf(t), (Lines{u"あいうえおかきくけこ", u"。さしすせそ"}));
  // On: a stop goes with the character before it, an opening bracket with what follows,
  // and small kana do not begin a line either.
  t.BreakByRules = true;
  for (const auto& [text, lines] : {std::pair<std::u16string, Lines>{u"あいうえおかきくけこ。さしすせそ", {u"あいうえおかきくけ", u"こ。さしすせそ"}},
                                    {u"あいうえおかきくけ「こ」", {u"あいうえおかきくけ", u"「こ」"}},
                                    {u"あいうえおかきくけこ」", {u"あいうえおかきくけ", u"こ」"}},
                                    {u"あいうえおかきくけキャ", {u"あいうえおかきくけ", u"キャ"}}}) {
    t.ClearText();
    t.AddText(S(text));
    EXPECT_EQ(LinesOf(t), lines) << WideToUtf8(text);
  }
  // Words stay whole, a line may end just before the spaces after a word, and the spaces
  // between words do not begin the next line.
  t.SetAsWritten(true);
  t.SetSize(kMessageWidth, t.Height());
  WideString text = u"The";
  for (int i = 0; i < 40; ++i) text += i % 3 ? u" fox" : u" jumps";
  t.ClearText();
  t.AddText(S(text));
  const Lines lines = LinesOf(t);
  ASSERT_GT(lines.size(), 2u);
  WideString joined;
  for (std::u16string line : lines) {
    EXPECT_NE(line.front(), u' ');
    while (!line.empty() && line.back() == u' ') line.pop_back();
    joined += (joined.empty() ? u"" : u" ") + line;
  }
  EXPECT_EQ(joined, text);
  // A word wider than the line is cut where it must be.
  t.ClearText();
  t.AddText(S(WideString(300, u'w')));
  size_t total = 0;
  for (const std::u16string& line : LinesOf(t)) total += line.size();
  EXPECT_GT(LinesOf(t).size(), 1u);
  EXPECT_EQ(total, 300u);
}

// Text added without end stops at the page's last line; a new page takes text again.
TEST(TextLayer, APageHoldsABoundedNumberOfLines) {
  MessageLayer t;
  const WideString para(40, u'あ');
  for (int i = 0; i < 2000; ++i) {
    t.AddText(S(para));
    if (i % 3 == 0) t.NewLine();
  }
  ASSERT_EQ(t.State().Lines.size(), size_t(TTextLayer::kMaxLines));
  size_t chars = 0;
  for (const SString2& l : t.State().Lines) chars += l.Text.size();
  EXPECT_LT(chars, size_t(TTextLayer::kMaxLines) * 40);
  EXPECT_EQ(t.State().LinePositions.size(), t.State().Lines.size());
  EXPECT_EQ(t.State().LineTops.size(), t.State().Lines.size());
  t.ClearText();
  t.AddText(S(u"い"));
  ASSERT_EQ(t.State().Lines.size(), 1u);
  EXPECT_EQ(t.State().Lines[0].Text, u"い");
}

TEST(TextLayer, TypeSpeedOneRevealsPairsEverySecondTick) {
  MessageLayer t;
  Dirty d;
  t.AddText(S(u"あいうえおかきく"));
  EXPECT_EQ(t.State().ShowChar, 0);  // the first character shows at once
  std::vector<int> seen;
  for (int i = 0; i < 8; ++i) {
    t.Tick(d);
    seen.push_back(t.State().ShowChar);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 2, 2, 4, 4, 6, 6, 7}));
  EXPECT_FALSE(t.IsBusy());
}

TEST(TextLayer, SlowerSpeedsWaitOneTickMoreFirst) {
  MessageLayer t;
  Dirty d;
  t.TypeSpeed = 2;
  t.AddText(S(u"あいうえおかきく"));
  std::vector<int> seen;
  for (int i = 0; i < 7; ++i) {
    t.Tick(d);
    seen.push_back(t.State().ShowChar);
  }
  EXPECT_EQ(seen, (std::vector<int>{0, 0, 1, 1, 2, 2, 3}));
  EXPECT_TRUE(t.IsBusy());
}

TEST(TextLayer, TypingCrossesLinesAndSkipShowsEverything) {
  MessageLayer t;
  Dirty d;
  t.AddText(S(u"あい"));
  t.NewLine();
  t.AddText(S(u"うえお"));
  t.Tick(d, 2);
  EXPECT_EQ(t.State().ShowLine, 1);
  EXPECT_EQ(t.State().ShowChar, 0);
  EXPECT_TRUE(t.IsBusy());
  t.Skip();
  EXPECT_EQ(t.State().ShowLine, 1);
  EXPECT_EQ(t.State().ShowChar, 2);
  t.Tick(d);
  EXPECT_FALSE(t.IsBusy());
}

TEST(TextLayer, HoverCoversEachLinesRowsInclusivelyAndNotTheGap) {
  MessageLayer t;
  Dirty d;
  t.AddText(S(u"はい"));
  t.NewLine();
  t.AddText(S(u"いいえ"));
  t.SelectMode = 1;
  const int top0 = t.Top + t.MarginTop, top1 = top0 + 32;
  auto hover = [&](int x, int y) {
    t.MouseX = x;
    t.MouseY = y;
    t.Tick(d);
    return t.State().HoverLine;
  };
  EXPECT_EQ(hover(100, top0), 0);
  EXPECT_EQ(hover(700, top0 + 26), 0);  // the bottom row counts; x plays no part
  for (int gap = top0 + 27; gap < top1; ++gap) EXPECT_EQ(hover(100, gap), -1) << gap;
  EXPECT_EQ(t.TakeSelection(), -1);  // a click in the gap keeps the mode
  EXPECT_EQ(t.SelectMode, 1);
  EXPECT_TRUE(t.IsBusy());
  EXPECT_EQ(hover(5, top1), 1);
  EXPECT_EQ(t.State().HoverRect.Right, t.Left + 756 - 30);  // the bar ends the two margins early
  EXPECT_EQ(t.TakeSelection(), 1);
  EXPECT_EQ(t.SelectMode, 0);
  EXPECT_FALSE(t.IsBusy());
  EXPECT_TRUE(t.State().HoverDirty);
}

TEST(TextLayer, ClearTextMarksTheOldArea) {
  MessageLayer t;
  Dirty d;
  t.AddText(S(u"あいうえお"));
  t.Skip();
  t.Tick(d);
  const TRect shown = t.State().ShownRects[0];
  ASSERT_FALSE(IsRectEmpty(shown));
  d.Clear();
  t.ClearText();
  t.Tick(d);
  ASSERT_EQ(d.L.Count, 1);
  EXPECT_EQ(d.Store[0], shown);
}

TEST(TextLayer, DrawsWindowThenHighlightThenText) {
  MessageLayer t;
  Dirty d;
  t.AddText(S(u"■"));
  t.NewLine();
  t.AddText(S(u"■"));
  t.SelectMode = 1;
  t.MouseY = t.Top + t.MarginTop + 10;
  t.Tick(d);
  TABitmap back;
  back.SetSize(800, 600);
  d.Clear();
  d.Add(Rect(0, 0, 800, 600));
  t.Draw(back, d);
  auto at = [&](int x, int y) { return reinterpret_cast<uint32_t*>(back.ScanLine(y))[x]; };
  const int y = t.Top + t.MarginTop + 13;
  // Window pixel: the opaque blue image over black gives (127*200) >> 7 in blue.
  EXPECT_EQ(at(t.Left + 5, t.Top + 5) & 0xFFFFFF, uint32_t((127 * 200) >> 7));
  // Highlighted row beside the text: blue window blended with yellow at 180.
  const uint32_t hl = at(t.Left + 400, y);
  EXPECT_EQ(hl & 0xFF, uint32_t((((127 * 200) >> 7) * 76) >> 8));
  EXPECT_EQ((hl >> 16) & 0xFF, uint32_t((255 * 180) >> 8));
  // Inside the square: white text over everything.
  EXPECT_EQ(at(t.Left + t.MarginLeft + 12, y) & 0xFFFFFF, 0xFFFFFFu);
  // The second line is not highlighted.
  EXPECT_EQ(at(t.Left + 400, y + 32) & 0xFFFFFF, uint32_t((127 * 200) >> 7));
}

TEST(TextLayer, AnEmptyPageStillDrawsTheWindow) {
  MessageLayer t;
  Dirty d;
  t.Tick(d);
  TABitmap back;
  back.SetSize(800, 600);
  d.Add(Rect(0, 0, 800, 600));
  t.Draw(back, d);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(back.ScanLine(450))[400] & 0xFF, uint32_t((127 * 200) >> 7));
}

// Text at 150% on a page longer than the window: it goes on over screens, each line inside
// the window; the typing rests at each screen's end and the advance shows the next.
TEST(TextLayer, LargerTextGoesOnOverScreensAndIsNeverClipped) {
  MessageLayer t;
  t.SetTextScale(150);
  t.ClearText();
  for (int line = 0; line < 7; ++line) {
    if (line) t.NewLine();
    t.AddText(S(u"あ"));
  }
  const auto& tops = t.State().LineTops;
  EXPECT_EQ(tops, (std::vector<int32_t>{0, 45, 90, 0, 45, 90, 0}));  // 39 high, 3 a screen
  for (int32_t top : tops) EXPECT_LE(top + t.Font.Height, t.Height() - t.MarginTop - t.MarginBottom);
  Dirty d;
  t.Tick(d, 20);
  EXPECT_EQ(t.State().ShowLine, 2);  // rests at the first screen's end
  EXPECT_TRUE(t.ScreenShown());
  EXPECT_TRUE(t.IsBusy());
  d.Clear();
  t.Skip();  // the advance
  t.Tick(d);
  EXPECT_EQ(t.State().ShowLine, 3);
  EXPECT_TRUE(d.Covers(t.Left + t.MarginLeft + 5, t.Top + t.MarginTop + 5));  // the old screen goes
  t.Skip();  // while typing: this screen shows whole
  EXPECT_EQ(t.State().ShowLine, 5);
  t.Skip();
  t.Tick(d, 5);
  EXPECT_TRUE(t.AllShown());
  EXPECT_FALSE(t.IsBusy());
  // Only the last screen's line shows: the others are not drawn over it.
  for (size_t i = 0; i + 1 < t.State().ShownRects.size(); ++i) EXPECT_EQ(t.State().ShownRects[i].Right, 0) << i;
  // Shown whole from the start, the page goes to its last screen at once.
  t.ClearText();
  for (int line = 0; line < 4; ++line) t.NewLine(), t.AddText(S(u"い"));
  t.ShowWhole();
  EXPECT_TRUE(t.AllShown());
  // At its own size a page is one screen however long, as it always was.
  MessageLayer plain;
  for (int line = 0; line < 7; ++line) plain.NewLine(), plain.AddText(S(u"あ"));
  EXPECT_EQ(plain.State().LineTops.back(), 7 * 32);
}

// A choice stays on one screen where every line can be chosen: four lines do not fit at
// 150%, and are laid out at the text's own size, each line as it was.
TEST(TextLayer, AChoiceThatDoesNotFitLargerTextIsLaidOutAtItsOwnSize) {
  MessageLayer t;
  t.SetTextScale(150);
  t.ClearText();
  t.SelectMode = kSelectChoice;
  for (int line = 0; line < 4; ++line) {
    if (line) t.NewLine();
    t.AddText(S(u"はい"));
  }
  EXPECT_EQ(t.State().LineTops, (std::vector<int32_t>{0, 45, 90, 135}));
  Dirty d;
  t.Tick(d);
  EXPECT_EQ(t.State().LineTops, (std::vector<int32_t>{0, 32, 64, 96}));
  EXPECT_EQ(t.Font.Height, 26);
  EXPECT_TRUE(t.AllShown());
  t.MouseY = t.ChoicePoint(3).y;
  t.Tick(d);
  EXPECT_EQ(t.State().HoverLine, 3);
  // Three fit as they are; the next page is larger again.
  t.ClearText();
  EXPECT_EQ(t.Font.Height, 39);
  for (int line = 0; line < 3; ++line) {
    if (line) t.NewLine();
    t.AddText(S(u"はい"));
  }
  t.Tick(d);
  EXPECT_EQ(t.State().LineTops.back(), 90);
  EXPECT_EQ(t.Font.Height, 39);
}

TEST(TextLayer, HighContrastDrawsAnOpaqueDarkWindowInsteadOfItsPicture) {
  MessageLayer t;
  t.HighContrast = true;
  Dirty d;
  t.Tick(d);
  TABitmap back;
  back.SetSize(800, 600);
  back.FillRGB(255, 255, 255);
  d.Add(Rect(0, 0, 800, 600));
  t.Draw(back, d);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(back.ScanLine(450))[400] & 0xFFFFFF, 0u);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(back.ScanLine(100))[400] & 0xFFFFFF, 0xFFFFFFu);  // outside: untouched
}

// Whatever happens, the layer marks only its own area and draws only where marked.
TEST(TextLayer, RandomUseStaysInsideTheLayerAndTheDirtyRectangles) {
  std::mt19937 rng(8);
  MessageLayer t;
  TABitmap back;
  back.SetSize(800, 600);
  const WideString pool = u"あいうえお漢字カナABC xyz、。「」■";
  for (int step = 0; step < 400; ++step) {
    switch (rng() % 9) {
      case 0: t.ClearText(); break;
      case 1: t.NewLine(); break;
      case 2: t.Skip(); break;
      case 3: t.SelectMode = uint8_t(rng() % 2); break;
      case 4: (void)t.TakeSelection(); break;
      default: {
        WideString text;
        for (int k = int(rng() % 40); k > 0; --k) text += pool[rng() % pool.size()];
        t.AddText(S(text));
      }
    }
    t.MouseX = int(rng() % 800);
    t.MouseY = int(rng() % 600);
    Dirty d;
    t.Update(step, 60, d);
    for (int i = 0; i < d.L.Count; ++i) {
      const TRect& r = d.Store[i];
      EXPECT_TRUE(r.Left >= t.Left && r.Top >= t.Top && r.Right <= t.Left + t.Width() &&
                  r.Bottom <= t.Top + t.Height())
          << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
    }
    if (rng() % 3 == 0) {
      d.Clear();
      const int x = int(rng() % 800), y = int(rng() % 600);
      d.Add(Rect(x, y, x + int(rng() % 300), y + int(rng() % 200)));
    }
    back.FillRGBA(1, 2, 3, 4);
    t.Draw(back, d);
    for (int y = 0; y < 600; y += 3)
      for (int x = 0; x < 800; x += 3)
        if (!d.Covers(x, y)) {
          ASSERT_EQ(reinterpret_cast<uint32_t*>(back.ScanLine(y))[x], 0xFB010203u) << x << "," << y;
        }
  }
}

TEST(DrawSStr, PositionArraysMustFitTheString) {
  TABitmap page;
  page.SetSize(200, 40);
  TFont font;
  font.Height = 26;
  TDrawSStrOptions o;
  o.Font = &font;
  o.UsePosArray = true;
  o.PosArray = {{0, 0}, {26, 0}, {52, 0}, {78, 0}};
  EXPECT_EQ(DrawSStr(0, 0, 10, o, S(u"あいう"), page), 3);
  EXPECT_EQ(DrawSStr(0, 0, 2, o, S(u"あいう"), page), 2);
  EXPECT_EQ(DrawSStr(0, 0, 0, o, S(u"あいう"), page), 0);
  try {
    DrawSStr(0, 0, 10, o, S(u"あい"), page);
    FAIL();
  } catch (const ESStrError& e) {
    EXPECT_EQ(e.Message(), "Invalid PosArray");
  }
  o.UsePosArray = false;
  EXPECT_EQ(DrawSStr(0, 0, 2, o, S(u"あいう"), page), 2);
}
}  // namespace
