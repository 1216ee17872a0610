#include "tools/SnapshotPng.h"

#include <png.h>

#include <cstdio>
#include <vector>

bool SaveSnapshotPng(const TBitmap& bitmap, const std::string& path) {
  if (bitmap.PixelFormat() != pf32bit || bitmap.Width() <= 0 || bitmap.Height() <= 0) return false;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<uint8_t> row(size_t(bitmap.Width()) * 3);
  bool ok = false;
  if (png && info && setjmp(png_jmpbuf(png)) == 0) {
    png_init_io(png, f);
    png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int32_t y = 0; y < bitmap.Height(); ++y) {
      const uint8_t* s = bitmap.ScanLine(y);
      for (int32_t x = 0; x < bitmap.Width(); ++x) {
        row[size_t(x) * 3 + 0] = s[x * 4 + 2];
        row[size_t(x) * 3 + 1] = s[x * 4 + 1];
        row[size_t(x) * 3 + 2] = s[x * 4 + 0];
      }
      png_write_row(png, row.data());
    }
    png_write_end(png, info);
    ok = true;
  }
  png_destroy_write_struct(&png, &info);
  return std::fclose(f) == 0 && ok;
}
