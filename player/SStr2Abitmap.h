// Draws a styled string character by character with the glyph effects, at measured
// positions or at the positions the options carry.
// Threads: main thread only.
#pragma once

#include "common/ABitmap.h"
#include "common/SuperString2.h"

// Draws up to `count` characters of `s` with its origin at (x, y); returns how many were
// drawn. With UsePosArray, a position array longer than the string's length + 1 raises
// ESStrError "Invalid PosArray".
int32_t DrawSStr(int32_t x, int32_t y, int32_t count, const TDrawSStrOptions& options, const SString2& s,
                 TABitmap& dest);
