// The two transition effects between a layer's outgoing and incoming scene images, each
// composited in full onto the output every frame: the cross-fade and the mask transition.
// Work images of the output's size are composed in one pass, a row at a time, with the
// results the blits give one after another; other sizes go through the blits.
// Threads: the engine's thread.
#pragma once

#include "common/ABitmap.h"

// The outgoing image as it is (when there is one), the incoming one over it at `level`.
void DrawCrossFade(TABitmap& output, const TABitmap* outgoing, const TABitmap* incoming, uint16_t level);
// The outgoing image copied into `composite`, the incoming one blended in through the
// 8-bit mask at `level` with the soft edge `shift`, then the composite onto the output.
void DrawMaskFade(TABitmap& output, TABitmap& composite, const TABitmap& outgoing, const TABitmap& incoming,
                  const TBitmap& mask, uint16_t level, uint16_t shift);
