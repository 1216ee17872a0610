// Pictures as PNG: 32-bit BGRA rows (the fourth byte is not written) encoded as RGB, for
// the thumbnails of saves and the snapshots the tools write.
// Threads: any.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// `row(y)` gives row y's first pixel. `quick`: the fastest compression (a save should not
// wait for its thumbnail); else libpng's defaults. Empty when encoding failed.
std::string EncodePng(const std::function<const uint8_t*(int32_t y)>& row, int32_t width, int32_t height, bool quick);
