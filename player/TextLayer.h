// A layer of story text: a message window image, text that types itself out at a fixed
// rate, wrapping at the window's inner width, explicit line breaks, a click that completes
// the typing, and a selection mode that highlights the line under the mouse. The whole
// page is rendered once into a page bitmap; typing only reveals more of it.
// Threads: main thread only.
#pragma once

#include <vector>

#include "common/ABitmap.h"
#include "common/SuperString2.h"
#include "player/Layer.h"

struct TTextSnapshot;

class TTextLayer : public TLayer {
 public:
  // A page holds at most this many lines, far more than any window shows; text past the
  // last one is dropped, so a script that adds text in a loop cannot exhaust memory.
  static constexpr int32_t kMaxLines = 256;
  // The farthest a position of a page may lie from the layer's origin.
  static constexpr int32_t kMaxCoordinate = 1 << 16;

  // Chooses the font: the installed Ｙ．ＯｚＦｏｎｔＮ, else the story's
  // YOzFontN\YOzFontN.TTF (added for the layer's life), else ＭＳ ゴシック. The page is
  // width x height (640x480 unless told).
  explicit TTextLayer(int32_t width = 640, int32_t height = 480);
  ~TTextLayer() override;
  TTextLayer(const TTextLayer&) = delete;
  TTextLayer& operator=(const TTextLayer&) = delete;

  // How the layer is placed and drawn: set by its owner before the first update.
  int32_t Top = 0;
  int32_t Left = 0;
  int32_t MarginLeft = 0;
  int32_t MarginTop = 0;
  int32_t MarginRight = 0;
  int32_t MarginBottom = 0;
  int32_t LineSpacing = 6;
  TFont Font;
  TABitmap BackImage;
  uint32_t TypeSpeed = 1;
  TColor HoverColor = 0x00FFFF;

  // The reader's comfort: text at `percent` of its size (100, 125 or 150) from the next
  // page on, pages that no longer fit going on over several screens; and a high-contrast
  // window, opaque and dark, with no picture behind the text. The defaults change nothing.
  void SetTextScale(int32_t percent);
  // How lines end: where the next character would pass the width (off), or by the line
  // breaking rules, between words and never before a closing bracket or stop nor after an
  // opening one (on). And whether characters are drawn as written (a story in UTF-8) or
  // as the code page carries them. Both apply to text added from then on.
  // Text drawn as written is in the story's own font when it has one, else in a font made
  // for alphabets (the Japanese font's Latin, Greek and Cyrillic are full-width), with
  // what that lacks from a font that has it.
  bool BreakByRules = false;
  void SetAsWritten(bool on);
  bool HighContrast = false;
  static constexpr TColor kHighContrastBack = 0x000000;
  // The page and how far it is typed, the line under the pointer and what must be drawn
  // again: the layer's own, read by its owner and tests.
  struct TPageState {
    int32_t ShowLine = 0;
    int32_t ShowChar = 0;
    int32_t PrevShowLine = 0;
    int32_t PrevShowChar = -1;
    int32_t WriteLine = 0;
    int32_t HoverLine = -1;
    TRect HoverRect{};
    std::vector<SString2> Lines;
    std::vector<TDrawSStrPosArray> LinePositions;
    std::vector<int32_t> LineTops;
    std::vector<TRect> ShownRects;
    bool ClearPending = false;
    bool HoverDirty = false;
    bool PageDirty = false;
    bool Busy = false;
    uint32_t TypeTicks = 0;
  };
  const TPageState& State() const { return FState; }
  int32_t LineCount() const { return int32_t(FState.Lines.size()); }
  // The layer as the reader last saw it, and back (the page is drawn anew from its lines).
  void SaveTo(TTextSnapshot& out) const;
  void RestoreFrom(const TTextSnapshot& in);
  // A page state that Update and Draw can work on: sizes that agree, positions inside.
  static bool Consistent(const TPageState& page);

  // Every character of the page is shown.
  bool AllShown() const;
  // A page taller than the window is shown a screen at a time: the lines of a screen
  // follow one another downwards, and a line placed at the top again starts the next.
  // The typing stops at the end of each screen, and the reader's advance shows the next.
  // A page that fits is one screen.
  bool ScreenShown() const { return !AllShown() && FState.ShowLine == ScreenEnd(FState.ShowLine) &&
                                    FState.ShowChar >= LineLength(FState.ShowLine) - 1; }
  // The whole page: its last screen, typed out (the reading modes' and tools' "show all").
  void ShowWhole();
  // A point of line `line` where the pointer chooses it.
  TPoint ChoicePoint(int32_t line) const;

  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  void SetSize(int32_t w, int32_t h);
  // The font file the text is drawn with.
  std::string FontFile() const { return Font.FilePath(); }

  void ClearText();
  void AddText(const SString2& s);
  void NewLine();
  // Counts the changes of the page's text (not kept in snapshots): a page told to the
  // reader is told again only once it changed.
  uint32_t TextEdits() const { return FTextEdits; }

  bool IsBusy() const override { return FState.Busy; }
  void Update(int32_t frameCount, int32_t framesPerSecond, TClipRects& dirty) override;
  void Draw(TABitmap& backBuffer, const TClipRects& dirty) override;
  void Skip() override;
  int32_t TakeSelection() override;

 private:
  int32_t LineLength(int32_t line) const { return int32_t(FState.Lines[size_t(line)].Text.size()); }
  int32_t LastLine() const { return int32_t(FState.Lines.size()) - 1; }
  // Where a line that holds `fit` characters ends by the line breaking rules; its
  // positions are cut to match.
  int32_t KeepByRules(const SString2& line, int32_t fit, TDrawSStrPosArray& positions) const;
  // Adds the part of r that lies inside the layer.
  void Add(TClipRects& list, const TRect& r) const;
  // The steps of an update: the typing's progress, the areas of the page shown (and
  // cleared) since the last, and the choice line under the pointer.
  void TypeOn();
  void ListShownAreas(TClipRects& dirty);
  void FollowPointer(TClipRects& dirty);
  // The first and the last line of the screen that holds `line`.
  int32_t ScreenStart(int32_t line) const;
  int32_t ScreenEnd(int32_t line) const;
  // A choice's lines are all on one screen: larger text that would not fit is laid out at
  // the text's own size again, its lines as they were.
  void FitChoices();
  // Goes on to the screen that begins with line `first`.
  void ShowScreenFrom(int32_t first);
  // The text's height the window has room for.
  int32_t TextRoom() const { return FHeight - MarginTop - MarginBottom; }
  // The screen rectangle of characters first..last-1 of a line.
  TRect CharsRect(int32_t line, int32_t first, int32_t last) const;

  bool FPageFull = false;
  int32_t FBaseFontHeight = 0;  // the font's own height, before the reader's scale
  int32_t FScale = 100, FPendingScale = 100;
  uint32_t FTextEdits = 0;

 protected:
  TPageState FState;
  TDrawSStrOptions Options;
  bool FontInstalled = false;
  std::string FontPath;
  TABitmap Page;
  int32_t FWidth;
  int32_t FHeight;
};

// The message window's place, size and margins on the screen.
void PlaceMessageLayer(TTextLayer& layer);
constexpr int32_t kMessageWidth = 756, kMessageHeight = 192;
