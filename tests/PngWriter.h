// Writes PNG files for tests: any colour type and depth, from raw rows.
#pragma once

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Writes a PNG of any colour type and depth from raw rows, with an optional palette and tRNS.
inline void WritePng(const std::string& path, int w, int h, int colorType, int depth, const std::vector<uint8_t>& raw,
              const std::vector<png_color>& palette = {}, const std::vector<uint8_t>& trns = {}) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, colorType, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) png_set_PLTE(png, info, palette.data(), int(palette.size()));
  if (!trns.empty()) png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
  png_write_info(png, info);
  const size_t rowBytes = raw.size() / size_t(h);
  for (int y = 0; y < h; ++y) png_write_row(png, raw.data() + size_t(y) * rowBytes);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}
