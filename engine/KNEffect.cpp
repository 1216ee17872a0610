#include "engine/KNEffect.h"

#include <algorithm>
#include <cstring>

#include "common/ABitmapKernels.h"

namespace {

// Bitmaps a one-pass frame can work on: 32-bit pictures of one size.
bool SameFrames(std::initializer_list<const TABitmap*> bitmaps) {
  const TABitmap& first = **bitmaps.begin();
  for (const TABitmap* b : bitmaps)
    if (!b->HasImage() || b->PixelFormat() != pf32bit || b->Width() != first.Width() || b->Height() != first.Height())
      return false;
  return first.Width() > 0;
}

const uint32_t* Row(const TABitmap& b, int32_t y) { return reinterpret_cast<const uint32_t*>(b.ScanLine(y)); }
uint32_t* Row(TABitmap& b, int32_t y) { return reinterpret_cast<uint32_t*>(b.ScanLine(y)); }

}  // namespace

void DrawCrossFade(TABitmap& output, const TABitmap* outgoing, const TABitmap* incoming, uint16_t level) {
  if (outgoing && incoming && SameFrames({&output, outgoing, incoming})) {
    // Both pictures and the output read together, a row at a time, and written once.
    const auto kernel = ActiveKernels().CrossFade;
    const uint32_t opacity = level < 255 ? level : 255;
    for (int32_t y = 0; y < output.Height(); ++y)
      kernel(Row(*outgoing, y), Row(*incoming, y), Row(output, y), output.Width(), opacity);
    return;
  }
  if (outgoing) outgoing->DrawAlphaSprite(output, 0, 0, outgoing->Width(), outgoing->Height(), 0, 0);
  if (incoming) incoming->DrawAlphaOpacitySprite(output, 0, 0, incoming->Width(), incoming->Height(), 0, 0, level);
}

void DrawMaskFade(TABitmap& output, TABitmap& composite, const TABitmap& outgoing, const TABitmap& incoming,
                  const TBitmap& mask, uint16_t level, uint16_t shift) {
  if (SameFrames({&output, &composite, &outgoing, &incoming}) && mask.PixelFormat() == pf8bit && shift <= 8) {
    // The level as the mask transition takes it; where the mask does not reach, the
    // composite is the outgoing picture.
    const uint32_t r = 1u << shift, effective = ((uint32_t(level) * (r + 256)) >> 8) & 0xFFFF;
    const TPixelKernels& k = ActiveKernels();
    const int32_t width = output.Width();
    for (int32_t y = 0; y < output.Height(); ++y) {
      const int32_t masked = y < mask.Height() ? std::min(width, mask.Width()) : 0;
      if (masked > 0)
        k.MaskFade(Row(outgoing, y), Row(incoming, y), mask.ScanLine(y), Row(composite, y), Row(output, y), masked,
                   effective, shift);
      if (masked == width) continue;
      std::memcpy(Row(composite, y) + masked, Row(outgoing, y) + masked, size_t(width - masked) * 4);
      k.DrawAlpha(Row(composite, y) + masked, Row(output, y) + masked, width - masked);
    }
    return;
  }
  // A plain copy of all four bytes of every pixel; the work images share one size.
  const int32_t rows = std::min(composite.Height(), outgoing.Height());
  const size_t bytes = size_t(std::min(composite.Width(), outgoing.Width())) * 4;
  for (int32_t y = 0; y < rows; ++y) std::memcpy(composite.ScanLine(y), outgoing.ScanLine(y), bytes);
  incoming.DrawMaskTransition(composite, 0, 0, incoming.Width(), incoming.Height(), 0, 0, mask, level, shift);
  composite.DrawAlpha(output, 0, 0, composite.Width(), composite.Height(), 0, 0);
}
