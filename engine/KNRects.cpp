#include "engine/KNRects.h"

extern "C" void AddRect(TClipRects* list, const TRect* rect) {
  const TRect r = *rect;
  if (IsRectEmpty(r) || list->Capacity <= 0) return;
  TRect* rects = list->Rects;
  int32_t cur;
  if (list->Count < list->Capacity) {
    cur = list->Count++;
    rects[cur] = r;
  } else {
    rects[0] = UnionRect(rects[0], r);
    cur = 0;
  }
  // Whatever the grown rectangle overlaps joins it, until nothing does.
  while (list->Count > 1) {
    int32_t i = 0;
    while (i < list->Count && (i == cur || !RectsOverlap(rects[i], rects[cur]))) ++i;
    if (i == list->Count) break;
    rects[i] = UnionRect(rects[i], rects[cur]);
    const int32_t last = list->Count - 1;
    if (cur != last) rects[cur] = rects[last];
    list->Count = last;
    cur = i == last ? cur : i;
  }
}
