#include "engine/KNEffect.h"

#include <algorithm>
#include <cstring>

void DrawCrossFade(TABitmap& output, const TABitmap* outgoing, const TABitmap* incoming, uint16_t level) {
  if (outgoing) outgoing->DrawAlphaSprite(output, 0, 0, outgoing->Width(), outgoing->Height(), 0, 0);
  if (incoming) incoming->DrawAlphaOpacitySprite(output, 0, 0, incoming->Width(), incoming->Height(), 0, 0, level);
}

void DrawMaskFade(TABitmap& output, TABitmap& composite, const TABitmap& outgoing, const TABitmap& incoming,
                  const TBitmap& mask, uint16_t level, uint16_t shift) {
  // A plain copy of all four bytes of every pixel; the work images share one size.
  const int32_t rows = std::min(composite.Height(), outgoing.Height());
  const size_t bytes = size_t(std::min(composite.Width(), outgoing.Width())) * 4;
  for (int32_t y = 0; y < rows; ++y) std::memcpy(composite.ScanLine(y), outgoing.ScanLine(y), bytes);
  incoming.DrawMaskTransition(composite, 0, 0, incoming.Width(), incoming.Height(), 0, 0, mask, level, shift);
  composite.DrawAlpha(output, 0, 0, composite.Width(), composite.Height(), 0, 0);
}
