#include "player/TextLayer.h"

#include <unistd.h>

#include <algorithm>

#include "engine/KNRects.h"
#include "platform/Files.h"
#include "player/LineBreaks.h"
#include "player/SStr2Abitmap.h"
#include "player/Snapshot.h"
#include "player/StoryFolder.h"

namespace {
const char* const kStoryFontFamily = "Ｙ．ＯｚＦｏｎｔＮ";
const char* const kDefaultFontFamily = "ＭＳ ゴシック";
const char* const kAlphabetFontFamily = "DejaVu Sans";
}  // namespace

void TTextLayer::Add(TClipRects& list, const TRect& r) const {
  // Text may run below the page; what the layer marks stays inside the layer.
  TRect inside;
  if (IntersectRect(inside, r, TRect{Left, Top, Left + FWidth, Top + FHeight})) AddRect(&list, &inside);
}

TTextLayer::TTextLayer(int32_t width, int32_t height) : FWidth(width), FHeight(height) {
  Font.Height = 26;
  FBaseFontHeight = Font.Height;
  if (FontFamilyInstalled(kStoryFontFamily)) {
    Font.Name = kStoryFontFamily;
  } else {
    const std::string path = ResolveFileName(std::string_view(kStoryFontFile));
    if (::access(path.c_str(), R_OK) == 0 && InsideStoryFolder(path) && AddFontResource(path)) {
      FontInstalled = true;
      FontPath = path;
      Font.Name = kStoryFontFamily;
    } else {
      Font.Name = kDefaultFontFamily;
    }
  }
  Font.Color = 0xFFFFFF;
  Font.Style = 0;
  Font.Pitch = fpFixed;
  Page.SetSize(FWidth, FHeight);
  Options.Font = &Font;
  Options.UsePosArray = true;
  Options.Effect = 2;
  Options.EdgeColor = 0x2B1919;
  Options.Spacing = 1;
  ClearText();
}

TTextLayer::~TTextLayer() {
  if (FontInstalled) RemoveFontResource(FontPath);
}

void TTextLayer::SetSize(int32_t w, int32_t h) {
  if (w == FWidth && h == FHeight) return;
  FWidth = w;
  FHeight = h;
  // The page is drawn again from the text at the next draw: a new page, rather than the old
  // one's pixels copied over, which would touch every page of memory of both for nothing.
  Page.SetSize(0, 0);
  Page.SetSize(FWidth, FHeight);
  FState.PageDirty = true;
}

void TTextLayer::SetAsWritten(bool on) {
  Options.AsWritten = on;
  if (Font.Name != kStoryFontFamily) Font.Name = on ? kAlphabetFontFamily : kDefaultFontFamily;
}

void TTextLayer::SetTextScale(int32_t percent) { FPendingScale = std::clamp(percent, 100, 200); }

void TTextLayer::ClearText() {
  ++FTextEdits;
  FScale = FPendingScale;
  Font.Height = FBaseFontHeight * FScale / 100;
  FState.Lines.assign(1, SString2{});
  FState.LinePositions.assign(1, TDrawSStrPosArray{});
  FState.LineTops.assign(1, 0);
  FState.ShowLine = 0;
  FState.ShowChar = 0;
  FState.PrevShowLine = 0;
  FState.PrevShowChar = -1;
  FState.WriteLine = 0;
  FPageFull = false;
  FState.ClearPending = true;
}

void TTextLayer::NewLine() {
  ++FTextEdits;
  if (int32_t(FState.Lines.size()) >= kMaxLines) return;
  ++FState.WriteLine;
  const size_t n = size_t(FState.WriteLine) + 1;
  int32_t top = FState.LineTops.back() + Font.Height + LineSpacing;
  // Larger text that passes the window's bottom begins a screen of its own; a choice's
  // lines stay on one screen, where they can all be chosen.
  if (FScale != 100 && SelectMode != kSelectChoice && top + Font.Height > TextRoom()) top = 0;
  FState.Lines.resize(n);
  FState.LinePositions.resize(n);
  FState.LineTops.resize(n, top);
}

void TTextLayer::AddText(const SString2& s) {
  ++FTextEdits;
  // FState.Lines are cut where the next character would pass the inner width; what is left over
  // goes on the next line, as many lines as it takes.
  if (FPageFull) return;
  SString2 pending = s;
  for (;;) {
    SString2& line = FState.Lines[size_t(FState.WriteLine)];
    line = SStrConcat(line, pending);
    Options.MaxWidth = FWidth - MarginLeft - MarginRight;
    TDrawSStrPosArray& positions = FState.LinePositions[size_t(FState.WriteLine)];
    int32_t n = SStrCharPositions(-1, Page.Canvas(), line, positions, Options);
    const int32_t length = SStrLength(line);
    if (n == 0 && length > 0) {
      // A character wider than the line at its start stays there, measured without the
      // limit, so that the text always goes on.
      TDrawSStrOptions unlimited = Options;
      unlimited.MaxWidth = 0;
      n = SStrCharPositions(1, Page.Canvas(), line, positions, unlimited);
    }
    FState.PageDirty = true;
    if (n >= length) return;
    if (BreakByRules) n = KeepByRules(line, n, positions);
    const bool full = int32_t(FState.Lines.size()) >= kMaxLines;
    if (!full) {
      pending = SStrCopy(line, n + 1, length - n);
      // A line that breaks between words does not begin with the spaces between them.
      if (BreakByRules) pending = SStrCopy(pending, int32_t(LeadingSpaces(pending.Text)) + 1, SStrLength(pending));
    }
    SStrSetLength(line, n);
    if (full) {
      FPageFull = true;  // what does not fit the last line is dropped, and all after it
      return;
    }
    NewLine();
  }
}

int32_t TTextLayer::KeepByRules(const SString2& line, int32_t fit, TDrawSStrPosArray& positions) const {
  int32_t keep = int32_t(KeepOnLine(line.Text, size_t(fit)));
  // The spaces that end a line are not shown either: the line ends with its last word.
  while (keep > 1 && line.Text[size_t(keep) - 1] == u' ') --keep;
  if (keep < fit) positions.resize(size_t(keep) + 1);
  return keep;
}

TPoint TTextLayer::ChoicePoint(int32_t line) const {
  return TPoint{Left + MarginLeft + 4, Top + MarginTop + FState.LineTops[size_t(line)] + Font.Height / 2};
}

bool TTextLayer::AllShown() const { return FState.ShowChar >= LineLength(FState.ShowLine) - 1 && FState.ShowLine >= LastLine(); }

TRect TTextLayer::CharsRect(int32_t line, int32_t first, int32_t last) const {
  const TDrawSStrPosArray& p = FState.LinePositions[size_t(line)];
  const int32_t maxIndex = int32_t(p.size()) - 1;
  first = std::clamp(first, 0, maxIndex);
  last = std::clamp(last, 0, maxIndex);
  const int32_t top = Top + MarginTop + FState.LineTops[size_t(line)];
  return TRect{Left + MarginLeft + p[size_t(first)].x, top, Left + MarginLeft + p[size_t(last)].x - Options.Spacing,
               top + Font.Height};
}

void TTextLayer::Update(int32_t, int32_t, TClipRects& dirty) {
  if (SelectMode == kSelectChoice) FitChoices();
  if (SelectMode != kSelectSkip) ShowWhole();
  TypeOn();
  ListShownAreas(dirty);
  if (FState.HoverDirty) {
    Add(dirty, FState.HoverRect);
    FState.HoverDirty = false;
  }
  if (SelectMode == kSelectChoice) {
    FState.Busy = true;
    FollowPointer(dirty);
  } else if (SelectMode == kSelectSkip) {
    FState.Busy = !AllShown();
  }
}

void TTextLayer::TypeOn() {
  TPageState& s = FState;
  const uint32_t speed = TypeSpeed == 0 ? 1 : TypeSpeed;
  const int32_t screenEnd = ScreenEnd(s.ShowLine);
  if (s.ShowLine < screenEnd || s.ShowChar < LineLength(s.ShowLine) - 1) {
    ++s.TypeTicks;
    if (s.TypeTicks > speed) {
      s.ShowChar += int32_t(s.TypeTicks / speed);
      s.TypeTicks %= speed;
      while (s.ShowChar >= LineLength(s.ShowLine)) {
        if (s.ShowLine == screenEnd) {
          s.ShowChar = LineLength(s.ShowLine) - 1;
          break;
        }
        s.ShowChar -= LineLength(s.ShowLine);
        ++s.ShowLine;
      }
    }
  }
  if (AllShown() || ScreenShown()) s.TypeTicks = 0;
}

int32_t TTextLayer::ScreenStart(int32_t line) const {
  const std::vector<int32_t>& tops = FState.LineTops;
  while (line > 0 && tops[size_t(line)] > tops[size_t(line) - 1]) --line;
  return line;
}

int32_t TTextLayer::ScreenEnd(int32_t line) const {
  const std::vector<int32_t>& tops = FState.LineTops;
  while (line < LastLine() && tops[size_t(line) + 1] > tops[size_t(line)]) ++line;
  return line;
}

void TTextLayer::FitChoices() {
  if (Font.Height == FBaseFontHeight || FState.LineTops.back() + Font.Height <= TextRoom()) return;
  Font.Height = FBaseFontHeight;
  Options.MaxWidth = 0;  // each line fits as it is: it was cut for a larger font
  for (size_t i = 0; i < FState.Lines.size(); ++i) {
    SStrCharPositions(-1, Page.Canvas(), FState.Lines[i], FState.LinePositions[i], Options);
    FState.LineTops[i] = int32_t(i) * (Font.Height + LineSpacing);
  }
  FState.HoverDirty = true;
  FState.ClearPending = true;  // what the larger lines showed goes
  FState.PageDirty = true;
}

void TTextLayer::ShowScreenFrom(int32_t first) {
  FState.ShowLine = first;
  FState.ShowChar = 0;
  FState.PrevShowLine = first;
  FState.PrevShowChar = -1;
  FState.ClearPending = true;  // the screen before goes
  FState.PageDirty = true;
}

void TTextLayer::ShowWhole() {
  const int32_t last = LastLine();
  if (ScreenStart(last) > ScreenStart(FState.ShowLine)) ShowScreenFrom(ScreenStart(last));
  FState.ShowLine = last;
  FState.ShowChar = LineLength(last) - 1;
}

void TTextLayer::ListShownAreas(TClipRects& dirty) {
  TPageState& s = FState;
  // A cleared page takes away all it showed.
  if (s.ClearPending) {
    s.ClearPending = false;
    for (const TRect& r : s.ShownRects) Add(dirty, r);
  }
  if (s.ShownRects.size() != s.Lines.size()) s.ShownRects.resize(s.Lines.size());
  for (size_t i = size_t(s.ShowLine) + 1; i < s.ShownRects.size(); ++i) s.ShownRects[i] = TRect{};
  const int32_t first = ScreenStart(s.ShowLine);
  for (int32_t i = 0; i < first; ++i) s.ShownRects[size_t(i)] = TRect{};
  for (int32_t i = first; i <= s.ShowLine; ++i) {
    const TDrawSStrPosArray& p = s.LinePositions[size_t(i)];
    const int32_t last = i == s.ShowLine ? s.ShowChar + 1 : int32_t(p.size()) - 1;
    s.ShownRects[size_t(i)] = p.empty() ? TRect{} : CharsRect(i, 0, last);
  }
  // The characters that appeared in this tick.
  if ((s.ShowLine != s.PrevShowLine || s.ShowChar != s.PrevShowChar) && s.ShowLine >= s.PrevShowLine) {
    for (int32_t i = s.PrevShowLine; i <= s.ShowLine; ++i) {
      const TDrawSStrPosArray& p = s.LinePositions[size_t(i)];
      if (p.empty()) continue;
      const int32_t first = i == s.PrevShowLine ? s.PrevShowChar + 1 : 0;
      const int32_t last = i == s.ShowLine ? s.ShowChar + 1 : int32_t(p.size()) - 1;
      Add(dirty, CharsRect(i, first, last));
    }
  }
  s.PrevShowLine = s.ShowLine;
  s.PrevShowChar = s.ShowChar;
}

void TTextLayer::FollowPointer(TClipRects& dirty) {
  TPageState& s = FState;
  const int32_t oldLine = s.HoverLine;
  const TRect oldRect = s.HoverRect;
  s.HoverRect = TRect{};
  s.HoverLine = -1;
  for (int32_t j = ScreenStart(s.ShowLine); j <= s.ShowLine; ++j) {
    const int32_t top = Top + MarginTop + s.LineTops[size_t(j)];
    if (MouseY >= top && top + Font.Height >= MouseY) {
      s.HoverLine = j;
      s.HoverRect = TRect{Left + MarginLeft, top, Left + FWidth - MarginLeft - MarginRight, top + Font.Height};
    }
  }
  if (s.HoverLine != oldLine) {
    Add(dirty, s.HoverRect);
    Add(dirty, oldRect);
  }
}

void TTextLayer::Draw(TABitmap& backBuffer, const TClipRects& dirty) {
  const TRect layer{Left, Top, Left + FWidth, Top + FHeight};
  TRect ix;
  for (int32_t k = 0; k < dirty.Count; ++k)
    if (IntersectRect(ix, dirty.Rects[k], layer)) {
      if (HighContrast)
        backBuffer.BlendFillRect(ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, kHighContrastBack, 255);
      else
        BackImage.DrawAlpha(backBuffer, ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, ix.Left - Left,
                            ix.Top - Top);
    }
  if (FState.ShowLine == 0 && FState.ShowChar == -1) return;

  if (SelectMode == kSelectChoice && FState.HoverLine != -1)
    for (int32_t k = 0; k < dirty.Count; ++k)
      if (IntersectRect(ix, dirty.Rects[k], FState.HoverRect))
        backBuffer.BlendFillRect(ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, HoverColor, 180);

  if (FState.PageDirty) {
    Page.FillRGBA(255, 255, 255, 0);
    const size_t first = size_t(ScreenStart(FState.ShowLine)), last = size_t(ScreenEnd(FState.ShowLine));
    for (size_t i = first; i <= last; ++i) {
      Options.PosArray = FState.LinePositions[i];
      DrawSStr(MarginLeft, FState.LineTops[i] + MarginTop, SStrLength(FState.Lines[i]), Options, FState.Lines[i], Page);
    }
    FState.PageDirty = false;
  }

  for (int32_t n = 0; n <= FState.ShowLine && size_t(n) < FState.ShownRects.size(); ++n)
    for (int32_t k = 0; k < dirty.Count; ++k)
      if (IntersectRect(ix, dirty.Rects[k], FState.ShownRects[size_t(n)]))
        Page.DrawAlphaSprite(backBuffer, ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, ix.Left - Left,
                             ix.Top - Top);
}

void TTextLayer::Skip() {
  // A screen shown whole gives way to the next; else the screen shows whole.
  if (ScreenShown()) {
    ShowScreenFrom(FState.ShowLine + 1);
    return;
  }
  FState.ShowLine = ScreenEnd(FState.ShowLine);
  FState.ShowChar = LineLength(FState.ShowLine) - 1;
}

int32_t TTextLayer::TakeSelection() {
  if (FState.HoverLine == -1) return -1;
  const int32_t chosen = FState.HoverLine;
  FState.Busy = false;
  SelectMode = kSelectSkip;
  FState.HoverDirty = true;
  FState.HoverLine = -1;
  return chosen;
}

void PlaceMessageLayer(TTextLayer& layer) {
  layer.SetSize(kMessageWidth, kMessageHeight);
  layer.Left = 22;
  layer.Top = 395;
  layer.MarginLeft = 15;
  layer.MarginTop = 53;
  layer.MarginRight = 15;
  layer.MarginBottom = 10;
}

void TTextLayer::SaveTo(TTextSnapshot& out) const {
  out.Page = FState;
  out.Visible = Visible;
  out.SelectMode = SelectMode;
  out.PageFull = FPageFull;
}

void TTextLayer::RestoreFrom(const TTextSnapshot& in) {
  ++FTextEdits;
  FState = in.Page;
  FState.PageDirty = true;
  Visible = in.Visible;
  SelectMode = in.SelectMode;
  FPageFull = in.PageFull;
}

bool TTextLayer::Consistent(const TPageState& p) {
  const size_t lines = p.Lines.size();
  if (lines == 0 || lines > size_t(kMaxLines) || p.LinePositions.size() != lines || p.LineTops.size() != lines ||
      p.ShownRects.size() > lines)
    return false;
  auto lineIndex = [&](int32_t i) { return i >= 0 && size_t(i) < lines; };
  if (!lineIndex(p.ShowLine) || !lineIndex(p.PrevShowLine) || !lineIndex(p.WriteLine)) return false;
  if (p.HoverLine != -1 && !lineIndex(p.HoverLine)) return false;
  const auto length = [&](int32_t i) { return int32_t(p.Lines[size_t(i)].Text.size()); };
  if (p.ShowChar < -1 || p.ShowChar > length(p.ShowLine)) return false;
  if (p.PrevShowChar < -1 || p.PrevShowChar > length(p.PrevShowLine)) return false;
  // Coordinates within the window's reach, so that placing them never overflows; styled
  // text whose two halves agree, as drawing needs.
  const auto near = [](int32_t v) { return v >= -kMaxCoordinate && v <= kMaxCoordinate; };
  const auto nearRect = [&](const TRect& r) { return near(r.Left) && near(r.Top) && near(r.Right) && near(r.Bottom); };
  for (size_t i = 0; i < lines; ++i) {
    const SString2& line = p.Lines[i];
    if (line.Text.size() != line.Info.size() || p.LinePositions[i].size() > line.Text.size() + 1 || !near(p.LineTops[i]))
      return false;
    for (const TPoint& at : p.LinePositions[i])
      if (!near(at.x) || !near(at.y)) return false;
  }
  for (const TRect& r : p.ShownRects)
    if (!nearRect(r)) return false;
  return nearRect(p.HoverRect);
}
