#include "player/SStr2Abitmap.h"

#include <algorithm>

#include "common/ABitmapEtcs.h"

int32_t DrawSStr(int32_t x, int32_t y, int32_t count, const TDrawSStrOptions& options, const SString2& s,
                 TABitmap& dest) {
  TDrawSStrPosArray measured;
  const TDrawSStrPosArray* positions = &options.PosArray;
  int32_t n;
  if (options.UsePosArray) {
    if (int64_t(options.PosArray.size()) > int64_t(SStrLength(s)) + 1) throw ESStrError("Invalid PosArray");
    n = std::min<int32_t>(count, int32_t(options.PosArray.size()) - 1);
  } else {
    n = SStrCharPositions(count, dest.Canvas(), s, measured, options);
    positions = &measured;
  }
  if (!options.Font) return n;
  for (int32_t i = 0; i < n; ++i) {
    const TPoint p = (*positions)[size_t(i)];
    if (!options.AsWritten) {
      DrawCharEffect(options.Effect, p.x + x, p.y + y, dest, options.EdgeColor, *options.Font,
                     WideString(1, s.Text[size_t(i)]));
      continue;
    }
    const WideString ch = SStrCharAt(s, size_t(i), options);
    if (!ch.empty()) DrawCharEffect(options.Effect, p.x + x, p.y + y, dest, options.EdgeColor, *options.Font, ch, true);
  }
  return n;
}
