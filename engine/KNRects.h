// AddRect: adds a changed rectangle to a frame's list, merging it with every rectangle it
// overlaps, so that the list stays bounded and free of overlaps. Exported from the engine
// library; the player uses the same function.
// Threads: whoever owns the list.
#pragma once

#include "common/ClipRect.h"

#define KN_API __attribute__((visibility("default")))

extern "C" KN_API void AddRect(TClipRects* list, const TRect* rect);
