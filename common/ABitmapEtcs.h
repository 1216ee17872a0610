// One character drawn anti-aliased into a TABitmap: rendered at twice the size without
// anti-aliasing, each 2x2 block's coverage becoming the pixel's transparency byte while
// the colour bytes take the full font colour. Effects add outlines, shadows and shakes.
// Rendered glyphs are kept in a cache, which changes no pixel.
// Threads: any thread; the cache has its own lock.
#pragma once

#include "common/ABitmap.h"

// Draws `text` (one character, as the code page carries it, or as written when `asWritten`)
// with its cell at (x, y).
void DrawCharAA(TABitmap& dest, int32_t x, int32_t y, const WideString& text, const TFont& font,
                bool asWritten = false);
// 0 plain, 1 outline, 2 shadow, 3/4/5 shake horizontal/vertical/both, 6 raised; any
// other effect draws nothing.
void DrawCharEffect(uint8_t effect, int32_t x, int32_t y, TABitmap& dest, TColor edgeColor, const TFont& font,
                    const WideString& text, bool asWritten = false);
// Empties the glyph cache (tests compare drawing with and without it).
void ClearGlyphCache();
void SetGlyphCacheEnabled(bool enabled);
