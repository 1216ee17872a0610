#include "tools/SnapshotPng.h"

#include <cstdio>

#include "player/PngEncode.h"

bool SaveSnapshotPng(const TBitmap& bitmap, const std::string& path) {
  if (bitmap.PixelFormat() != pf32bit || bitmap.Width() <= 0 || bitmap.Height() <= 0) return false;
  const std::string png =
      EncodePng([&bitmap](int32_t y) { return static_cast<const uint8_t*>(bitmap.ScanLine(y)); }, bitmap.Width(),
                bitmap.Height(), false);
  if (png.empty()) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  return std::fclose(f) == 0 && written;
}
