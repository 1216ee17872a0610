// The choice the keyboard or a game pad points at. While the reader moves it, the layers
// take its point as the pointer, so a line or a button is highlighted, and taken by the
// reader's advance, exactly as under the mouse; the real pointer moving, or the choice
// ending, gives the layers the mouse back.
// Threads: main thread only (the interpreter's update step).
#pragma once

#include <cstdint>
#include <vector>

#include "common/SuperString2.h"
#include "player/KinetraDLL.h"

class TKeySelection {
 public:
  // The option `step` (+1 or -1) away from `from` among `count`: from none (-1) the next is
  // the first and the previous the last; the ends hold. -1 when there is nothing to choose.
  static int32_t Step(int32_t from, int32_t step, int32_t count);
  // Buttons as the eye reads them: by rows from the top, each row from the left.
  static void ReadingOrder(std::vector<TKNButtonInfo>& buttons);

  // Points at option `index`, at `at` in the picture, while the pointer stays at `cursor`.
  void Choose(int32_t index, TPoint at, TPoint cursor);
  void End() { FIndex = -1; }
  bool Active() const { return FIndex != -1; }
  int32_t Index() const { return FIndex; }
  // What the layers take as the pointer: the option's point while the real pointer is
  // where it was when the reader last moved the choice, else `cursor` (which ends it).
  TPoint Pointer(TPoint cursor);

 private:
  int32_t FIndex = -1;
  TPoint FAt{};
  TPoint FCursor{};
};
