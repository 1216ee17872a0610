#include "player/PngEncode.h"

#include <png.h>

#include <vector>

std::string EncodePng(const std::function<const uint8_t*(int32_t y)>& row, int32_t width, int32_t height, bool quick) {
  std::string png;
  if (width <= 0 || height <= 0) return png;
  png_structp write = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = write ? png_create_info_struct(write) : nullptr;
  if (!info) {
    png_destroy_write_struct(&write, nullptr);
    return png;
  }
  std::vector<uint8_t> rgb(size_t(width) * 3);
  if (setjmp(png_jmpbuf(write))) {
    png_destroy_write_struct(&write, &info);
    return std::string();
  }
  png_set_write_fn(
      write, &png,
      [](png_structp p, png_bytep data, png_size_t n) {
        static_cast<std::string*>(png_get_io_ptr(p))->append(reinterpret_cast<const char*>(data), n);
      },
      nullptr);
  if (quick) {
    png_set_compression_level(write, 1);
    png_set_filter(write, 0, PNG_FILTER_SUB);
  }
  png_set_IHDR(write, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(write, info);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = row(y);
    for (int32_t x = 0; x < width; ++x) {
      rgb[size_t(x) * 3 + 0] = s[x * 4 + 2];
      rgb[size_t(x) * 3 + 1] = s[x * 4 + 1];
      rgb[size_t(x) * 3 + 2] = s[x * 4 + 0];
    }
    png_write_row(write, rgb.data());
  }
  png_write_end(write, info);
  png_destroy_write_struct(&write, &info);
  return png;
}
