#include "player/TextLayer.h"

#include <unistd.h>

#include <algorithm>

#include "engine/KNRects.h"
#include "platform/Files.h"
#include "player/SStr2Abitmap.h"

namespace {
const char* const kStoryFontFamily = "Ｙ．ＯｚＦｏｎｔＮ";
const char16_t* const kStoryFontFile = u"YOzFontN\\YOzFontN.TTF";
}  // namespace

void TTextLayer::Add(TClipRects& list, const TRect& r) const {
  // Text may run below the page; what the layer marks stays inside the layer.
  TRect inside;
  if (IntersectRect(inside, r, TRect{Left, Top, Left + FWidth, Top + FHeight})) AddRect(&list, &inside);
}

TTextLayer::TTextLayer() {
  Font.Height = 26;
  if (FontFamilyInstalled(kStoryFontFamily)) {
    Font.Name = kStoryFontFamily;
  } else {
    const std::string path = ResolveFileName(std::u16string_view(kStoryFontFile));
    if (::access(path.c_str(), R_OK) == 0 && InsideStoryFolder(path) && AddFontResource(path)) {
      FontInstalled = true;
      FontPath = path;
      Font.Name = kStoryFontFamily;
    } else {
      Font.Name = "ＭＳ ゴシック";
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

void TTextLayer::SetWidth(int32_t w) {
  FWidth = w;
  Page.SetSize(FWidth, FHeight);
}

void TTextLayer::SetHeight(int32_t h) {
  FHeight = h;
  Page.SetSize(FWidth, FHeight);
}

void TTextLayer::ClearText() {
  Lines.assign(1, SString2{});
  LinePositions.assign(1, TDrawSStrPosArray{});
  LineTops.assign(1, 0);
  ShowLine = 0;
  ShowChar = 0;
  PrevShowLine = 0;
  PrevShowChar = -1;
  WriteLine = 0;
  FPageFull = false;
  ClearPending = true;
}

void TTextLayer::NewLine() {
  if (int32_t(Lines.size()) >= kMaxLines) return;
  ++WriteLine;
  const size_t n = size_t(WriteLine) + 1;
  const int32_t top = LineTops.back() + Font.Height + LineSpacing;
  Lines.resize(n);
  LinePositions.resize(n);
  LineTops.resize(n, top);
}

void TTextLayer::AddText(const SString2& s) {
  // Lines are cut where the next character would pass the inner width; what is left over
  // goes on the next line, as many lines as it takes.
  if (FPageFull) return;
  SString2 pending = s;
  for (;;) {
    SString2& line = Lines[size_t(WriteLine)];
    line = SStrConcat(line, pending);
    Options.MaxWidth = FWidth - MarginLeft - MarginRight;
    TDrawSStrPosArray& positions = LinePositions[size_t(WriteLine)];
    int32_t n = SStrCharPositions(-1, Page.Canvas(), line, positions, Options);
    const int32_t length = SStrLength(line);
    if (n == 0 && length > 0) {
      // A character wider than the line at its start stays there, measured without the
      // limit, so that the text always goes on.
      TDrawSStrOptions unlimited = Options;
      unlimited.MaxWidth = 0;
      n = SStrCharPositions(1, Page.Canvas(), line, positions, unlimited);
    }
    PageDirty = true;
    if (n >= length) return;
    const bool full = int32_t(Lines.size()) >= kMaxLines;
    if (!full) pending = SStrCopy(line, n + 1, length - n);
    SStrSetLength(line, n);
    if (full) {
      FPageFull = true;  // what does not fit the last line is dropped, and all after it
      return;
    }
    NewLine();
  }
}

bool TTextLayer::AllShown() const { return ShowChar >= LineLength(ShowLine) - 1 && ShowLine >= LastLine(); }

TRect TTextLayer::CharsRect(int32_t line, int32_t first, int32_t last) const {
  const TDrawSStrPosArray& p = LinePositions[size_t(line)];
  const int32_t maxIndex = int32_t(p.size()) - 1;
  first = std::clamp(first, 0, maxIndex);
  last = std::clamp(last, 0, maxIndex);
  const int32_t top = Top + MarginTop + LineTops[size_t(line)];
  return TRect{Left + MarginLeft + p[size_t(first)].x, top, Left + MarginLeft + p[size_t(last)].x - Options.Spacing,
               top + Font.Height};
}

void TTextLayer::Update(int32_t, int32_t, TClipRects& dirty) {
  if (SelectMode != kSelectSkip) Skip();

  // Typing.
  const uint32_t speed = TypeSpeed == 0 ? 1 : TypeSpeed;
  if (ShowLine < LastLine() || ShowChar < LineLength(ShowLine) - 1) {
    ++TypeTicks;
    if (TypeTicks > speed) {
      ShowChar += int32_t(TypeTicks / speed);
      TypeTicks %= speed;
      while (ShowChar >= LineLength(ShowLine)) {
        if (ShowLine == LastLine()) {
          ShowChar = LineLength(ShowLine) - 1;
          break;
        }
        ShowChar -= LineLength(ShowLine);
        ++ShowLine;
      }
    }
  }
  if (AllShown()) TypeTicks = 0;

  if (ClearPending) {
    ClearPending = false;
    for (const TRect& r : ShownRects) Add(dirty, r);
  }
  if (ShownRects.size() != Lines.size()) ShownRects.resize(Lines.size());
  for (size_t i = size_t(ShowLine) + 1; i < ShownRects.size(); ++i) ShownRects[i] = TRect{};

  for (int32_t i = 0; i <= ShowLine; ++i) {
    const TDrawSStrPosArray& p = LinePositions[size_t(i)];
    if (p.empty()) {
      ShownRects[size_t(i)] = TRect{};
      continue;
    }
    const int32_t last = i == ShowLine ? ShowChar + 1 : int32_t(p.size()) - 1;
    ShownRects[size_t(i)] = CharsRect(i, 0, last);
  }

  // The characters that appeared in this tick.
  if ((ShowLine != PrevShowLine || ShowChar != PrevShowChar) && ShowLine >= PrevShowLine) {
    for (int32_t i = PrevShowLine; i <= ShowLine; ++i) {
      const TDrawSStrPosArray& p = LinePositions[size_t(i)];
      if (p.empty()) continue;
      const int32_t first = i == PrevShowLine ? PrevShowChar + 1 : 0;
      const int32_t last = i == ShowLine ? ShowChar + 1 : int32_t(p.size()) - 1;
      Add(dirty, CharsRect(i, first, last));
    }
  }
  PrevShowLine = ShowLine;
  PrevShowChar = ShowChar;

  if (HoverDirty) {
    Add(dirty, HoverRect);
    HoverDirty = false;
  }

  if (SelectMode == kSelectChoice) {
    Busy = true;
    const int32_t oldLine = HoverLine;
    const TRect oldRect = HoverRect;
    HoverRect = TRect{};
    HoverLine = -1;
    for (int32_t j = 0; j <= ShowLine; ++j) {
      const int32_t top = Top + MarginTop + LineTops[size_t(j)];
      if (MouseY >= top && top + Font.Height >= MouseY) {
        HoverLine = j;
        HoverRect = TRect{Left + MarginLeft, top, Left + FWidth - MarginLeft - MarginRight, top + Font.Height};
      }
    }
    if (HoverLine != oldLine) {
      Add(dirty, HoverRect);
      Add(dirty, oldRect);
    }
  } else if (SelectMode == kSelectSkip) {
    Busy = !AllShown();
  }
}

void TTextLayer::Draw(TABitmap& backBuffer, const TClipRects& dirty) {
  const TRect layer{Left, Top, Left + FWidth, Top + FHeight};
  TRect ix;
  for (int32_t k = 0; k < dirty.Count; ++k)
    if (IntersectRect(ix, dirty.Rects[k], layer))
      BackImage.DrawAlpha(backBuffer, ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, ix.Left - Left,
                          ix.Top - Top);
  if (ShowLine == 0 && ShowChar == -1) return;

  if (SelectMode == kSelectChoice && HoverLine != -1)
    for (int32_t k = 0; k < dirty.Count; ++k)
      if (IntersectRect(ix, dirty.Rects[k], HoverRect))
        backBuffer.BlendFillRect(ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, HoverColor, 180);

  if (PageDirty) {
    Page.FillRGBA(255, 255, 255, 0);
    for (size_t i = 0; i < Lines.size(); ++i) {
      Options.PosArray = LinePositions[i];
      DrawSStr(MarginLeft, LineTops[i] + MarginTop, SStrLength(Lines[i]), Options, Lines[i], Page);
    }
    PageDirty = false;
  }

  for (int32_t n = 0; n <= ShowLine && size_t(n) < ShownRects.size(); ++n)
    for (int32_t k = 0; k < dirty.Count; ++k)
      if (IntersectRect(ix, dirty.Rects[k], ShownRects[size_t(n)]))
        Page.DrawAlphaSprite(backBuffer, ix.Left, ix.Top, ix.Right - ix.Left, ix.Bottom - ix.Top, ix.Left - Left,
                             ix.Top - Top);
}

void TTextLayer::Skip() {
  ShowLine = LastLine();
  ShowChar = LineLength(ShowLine) - 1;
}

int32_t TTextLayer::TakeSelection() {
  if (HoverLine == -1) return -1;
  const int32_t chosen = HoverLine;
  Busy = false;
  SelectMode = kSelectSkip;
  HoverDirty = true;
  HoverLine = -1;
  return chosen;
}

void PlaceMessageLayer(TTextLayer& layer) {
  layer.SetWidth(kMessageWidth);
  layer.SetHeight(kMessageHeight);
  layer.Left = 22;
  layer.Top = 395;
  layer.MarginLeft = 15;
  layer.MarginTop = 53;
  layer.MarginRight = 15;
  layer.MarginBottom = 10;
}
