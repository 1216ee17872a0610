// Rectangles (left, top, right, bottom; right and bottom exclusive) and the bounded list
// of non-overlapping changed rectangles that decides what each frame redraws and copies.
// The list's layout is shared with the engine library, which adds to it.
// Threads: a list is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
};
static_assert(sizeof(TRect) == 16);

struct TClipRects {
  TRect* Rects;      // Capacity rectangles, owned by the list's owner
  int32_t Count;     // in use, 0..Capacity
  int32_t Capacity;
};
static_assert(offsetof(TClipRects, Rects) == 0);
static_assert(offsetof(TClipRects, Count) == 8);
static_assert(offsetof(TClipRects, Capacity) == 12);
static_assert(sizeof(TClipRects) == 16);

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) { return TRect{left, top, right, bottom}; }
inline bool IsRectEmpty(const TRect& r) { return !(r.Left < r.Right && r.Top < r.Bottom); }
inline bool operator==(const TRect& a, const TRect& b) {
  return a.Left == b.Left && a.Top == b.Top && a.Right == b.Right && a.Bottom == b.Bottom;
}

// The common part; all zeros when there is none. True when the two overlap.
inline bool IntersectRect(TRect& out, const TRect& a, const TRect& b) {
  TRect r{a.Left > b.Left ? a.Left : b.Left, a.Top > b.Top ? a.Top : b.Top, a.Right < b.Right ? a.Right : b.Right,
          a.Bottom < b.Bottom ? a.Bottom : b.Bottom};
  if (IsRectEmpty(r)) r = TRect{};
  out = r;
  return !IsRectEmpty(r);
}

inline bool RectsOverlap(const TRect& a, const TRect& b) {
  return a.Left < b.Right && b.Left < a.Right && a.Top < b.Bottom && b.Top < a.Bottom && !IsRectEmpty(a) &&
         !IsRectEmpty(b);
}

// The smallest rectangle holding both; empty operands are ignored; two empty give zeros.
inline TRect UnionRect(const TRect& a, const TRect& b) {
  if (IsRectEmpty(a)) return IsRectEmpty(b) ? TRect{} : b;
  if (IsRectEmpty(b)) return a;
  return TRect{a.Left < b.Left ? a.Left : b.Left, a.Top < b.Top ? a.Top : b.Top, a.Right > b.Right ? a.Right : b.Right,
               a.Bottom > b.Bottom ? a.Bottom : b.Bottom};
}
