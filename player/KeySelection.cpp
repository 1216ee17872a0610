#include "player/KeySelection.h"

#include <algorithm>

int32_t TKeySelection::Step(int32_t from, int32_t step, int32_t count) {
  if (count <= 0) return -1;
  if (from < 0 || from >= count) return step > 0 ? 0 : count - 1;
  return std::clamp(from + step, 0, count - 1);
}

void TKeySelection::ReadingOrder(std::vector<TKNButtonInfo>& buttons) {
  // A button whose middle lies within the first one's height is on the same row.
  std::stable_sort(buttons.begin(), buttons.end(),
                   [](const TKNButtonInfo& a, const TKNButtonInfo& b) { return a.Top < b.Top; });
  for (size_t row = 0; row < buttons.size();) {
    const int64_t bottom = int64_t(buttons[row].Top) + std::max(1, buttons[row].Height);
    size_t end = row + 1;
    while (end < buttons.size() && int64_t(buttons[end].Top) + buttons[end].Height / 2 < bottom) ++end;
    std::stable_sort(buttons.begin() + std::ptrdiff_t(row), buttons.begin() + std::ptrdiff_t(end),
                     [](const TKNButtonInfo& a, const TKNButtonInfo& b) { return a.Left < b.Left; });
    row = end;
  }
}

void TKeySelection::Choose(int32_t index, TPoint at, TPoint cursor) {
  FIndex = index;
  FAt = at;
  FCursor = cursor;
}

TPoint TKeySelection::Pointer(TPoint cursor) {
  if (FIndex == -1) return cursor;
  if (cursor.x != FCursor.x || cursor.y != FCursor.y) {
    FIndex = -1;
    return cursor;
  }
  return FAt;
}
