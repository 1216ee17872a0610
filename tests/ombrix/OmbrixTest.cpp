#include "common/Ombrix.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>

#include <cstring>
#include <random>

#include "../PngWriter.h"
#include "../TestSupport.h"

namespace {

void WriteJpeg(const std::string& path, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = JDIMENSION(w);
  c.image_height = JDIMENSION(h);
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(size_t(w) * 3);
  for (int x = 0; x < w; ++x) {
    row[size_t(x) * 3] = r;
    row[size_t(x) * 3 + 1] = g;
    row[size_t(x) * 3 + 2] = b;
  }
  while (c.next_scanline < c.image_height) {
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&c, rows, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

struct Decoded {
  int32_t Result = -1;
  TOmbrixInfo Info{};
  TBitmap Bitmap;
  uint32_t At(int x, int y) { return reinterpret_cast<uint32_t*>(Bitmap.ScanLine(y))[x]; }
};

// The callers' sequence: open, info, a bitmap of that size, pixels, release.
void Decode(const std::string& path, Decoded& d, TPixelFormat format = pf32bit) {
  HOMBRIX h = nullptr;
  d.Result = CreateOmbrix(&h, path.c_str());
  if (d.Result != 0) {
    EXPECT_EQ(h, nullptr);
    return;
  }
  GetOmbrixInfo(h, &d.Info);
  d.Bitmap.SetPixelFormat(format);
  d.Bitmap.SetSize(d.Info.Width, d.Info.Height);
  d.Result = GetImageDataToBitmap(h, d.Bitmap.Handle());
  DeleteOmbrix(&h);
  EXPECT_EQ(h, nullptr);
}

TEST(Ombrix, EveryPngKindComesOutAtEightBitsWithItsColourType) {
  TempDir dir;
  WritePng(dir / "rgb.png", 2, 1, PNG_COLOR_TYPE_RGB, 8, {10, 20, 30, 40, 50, 60});
  WritePng(dir / "rgba.png", 2, 1, PNG_COLOR_TYPE_RGBA, 8, {10, 20, 30, 255, 40, 50, 60, 0});
  WritePng(dir / "grey.png", 2, 1, PNG_COLOR_TYPE_GRAY, 8, {7, 200});
  WritePng(dir / "palette.png", 2, 1, PNG_COLOR_TYPE_PALETTE, 8, {0, 1}, {{1, 2, 3}, {4, 5, 6}}, {255, 100});
  WritePng(dir / "deep.png", 1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x80, 0x00});
  const struct {
    const char* name;
    int32_t type;
    uint32_t first, second;
  } cases[] = {
      {"rgb.png", 1, 0x000A141Eu, 0x0028323Cu},
      {"rgba.png", 129, 0x000A141Eu, 0xFF28323Cu},
      {"grey.png", 1, 0x00070707u, 0x00C8C8C8u},
      {"palette.png", 129, 0x00010203u, 0x9B040506u},
      {"deep.png", 129, 0x7F12569Au, 0},
  };
  for (const auto& c : cases) {
    Decoded d;
    Decode(dir / c.name, d);
    ASSERT_EQ(d.Result, 0) << c.name;
    EXPECT_EQ(d.Info.BitDepth, 8) << c.name;
    EXPECT_EQ(d.Info.ColorType, c.type) << c.name;
    EXPECT_EQ(d.At(0, 0), c.first) << c.name;
    if (d.Info.Width > 1) {
      EXPECT_EQ(d.At(1, 0), c.second) << c.name;
    }
  }
}

TEST(Ombrix, JpegAndTheSmallerBitmapFormats) {
  TempDir dir;
  WriteJpeg(dir / "grey.jpg", 16, 16, 128, 128, 128);
  Decoded d;
  Decode(dir / "grey.jpg", d, pf24bit);
  ASSERT_EQ(d.Result, 0);
  EXPECT_EQ(d.Info.ColorType, 1);
  EXPECT_EQ(d.Info.BitDepth, 8);
  const uint8_t* p = d.Bitmap.ScanLine(5) + 5 * 3;
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(p[k], 128, 1);

  WritePng(dir / "rgb.png", 2, 1, PNG_COLOR_TYPE_RGB, 8, {10, 20, 30, 40, 50, 60});
  Decoded mask;
  Decode(dir / "rgb.png", mask, pf8bit);
  EXPECT_EQ(mask.Result, 0);
}

TEST(Ombrix, ABitmapOfAnotherSizeGetsTheCommonPart) {
  TempDir dir;
  WritePng(dir / "rgb.png", 2, 1, PNG_COLOR_TYPE_RGB, 8, {10, 20, 30, 40, 50, 60});
  HOMBRIX h = nullptr;
  ASSERT_EQ(CreateOmbrix(&h, (dir / "rgb.png").c_str()), 0);
  TBitmap big;
  big.SetSize(3, 2);
  std::memset(big.ScanLine(0), 0xEE, size_t(big.Stride()) * 2);
  EXPECT_EQ(GetImageDataToBitmap(h, big.Handle()), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(big.ScanLine(0))[1], 0x0028323Cu);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(big.ScanLine(0))[2], 0xEEEEEEEEu);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(big.ScanLine(1))[0], 0xEEEEEEEEu);
  TBitmap small;
  small.SetSize(1, 1);
  EXPECT_EQ(GetImageDataToBitmap(h, small.Handle()), 0);
  EXPECT_EQ(reinterpret_cast<uint32_t*>(small.ScanLine(0))[0], 0x000A141Eu);
  DeleteOmbrix(&h);

  // With transparency, into a bitmap larger and one smaller than the image.
  WritePng(dir / "rgba.png", 2, 2, PNG_COLOR_TYPE_RGBA, 8, {10, 20, 30, 255, 40, 50, 60, 0, 1, 2, 3, 128, 4, 5, 6, 9});
  ASSERT_EQ(CreateOmbrix(&h, (dir / "rgba.png").c_str()), 0);
  big.SetSize(0, 0);
  big.SetSize(3, 3);
  small.SetSize(0, 0);
  small.SetSize(1, 2);
  EXPECT_EQ(GetImageDataToBitmap(h, big.Handle()), 0);
  EXPECT_EQ(GetImageDataToBitmap(h, small.Handle()), 0);
  const auto at = [](TBitmap& b, int x, int y) { return reinterpret_cast<uint32_t*>(b.ScanLine(y))[x]; };
  EXPECT_EQ(at(big, 1, 0), 0xFF28323Cu);
  EXPECT_EQ(at(big, 0, 1), 0x7F010203u);
  EXPECT_EQ(at(big, 2, 2), 0u);
  EXPECT_EQ(at(small, 0, 0), 0x000A141Eu);
  EXPECT_EQ(at(small, 0, 1), 0x7F010203u);
  DeleteOmbrix(&h);
}

TEST(Ombrix, BrokenFilesFailCleanly) {
  TempDir dir;
  HOMBRIX h = nullptr;
  EXPECT_NE(CreateOmbrix(&h, (dir / "missing.png").c_str()), 0);
  EXPECT_NE(CreateOmbrix(&h, nullptr), 0);
  EXPECT_NE(CreateOmbrix(nullptr, "x"), 0);
  WriteFile(dir / "text.png", "not an image at all");
  EXPECT_NE(CreateOmbrix(&h, (dir / "text.png").c_str()), 0);

  std::vector<uint8_t> raw(64 * 64 * 4);
  std::mt19937 rng(11);
  for (auto& b : raw) b = uint8_t(rng());
  WritePng(dir / "full.png", 64, 64, PNG_COLOR_TYPE_RGBA, 8, raw);
  WriteJpeg(dir / "full.jpg", 64, 64, 1, 2, 3);
  for (const char* name : {"full.png", "full.jpg"}) {
    const std::string bytes = ReadFile(dir / name);
    // Every truncation, and random damage, ends in a result, never a crash.
    for (size_t cut = 1; cut < bytes.size(); cut += 1 + cut / 8) {
      WriteFile(dir / "cut", bytes.substr(0, cut));
      Decoded d;
      Decode(dir / "cut", d);
      if (cut < 60) {
        EXPECT_NE(d.Result, 0) << name << " cut at " << cut;
      }
      // A decode that fails part way leaves the bitmap as it was made.
      if (d.Result != 0 && d.Bitmap.Width() > 0) {
        bool zero = true;
        for (int y = 0; y < d.Bitmap.Height(); ++y)
          for (int x = 0; x < d.Bitmap.Width(); ++x) zero = zero && d.At(x, y) == 0;
        EXPECT_TRUE(zero) << name << " cut at " << cut;
      }
    }
    for (int round = 0; round < 200; ++round) {
      std::string damaged = bytes;
      for (int k = 0; k < 1 + int(rng() % 10); ++k) damaged[rng() % damaged.size()] = char(rng());
      WriteFile(dir / "damaged", damaged);
      Decoded d;
      Decode(dir / "damaged", d);
    }
  }
  for (int round = 0; round < 100; ++round) {
    std::string junk(rng() % 300, '\0');
    for (char& c : junk) c = char(rng());
    if (round % 2) junk.replace(0, std::min<size_t>(8, junk.size()), "\x89PNG\r\n\x1a\n");
    WriteFile(dir / "junk", junk);
    Decoded d;
    Decode(dir / "junk", d);
  }
}

TEST(Ombrix, HugeSidesAreRefused) {
  TempDir dir;
  // A valid header that claims 20000 x 1 pixels.
  std::FILE* f = std::fopen((dir / "wide.png").c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, 20000, 1, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  HOMBRIX h = nullptr;
  EXPECT_NE(CreateOmbrix(&h, (dir / "wide.png").c_str()), 0);
  EXPECT_EQ(h, nullptr);
}
}  // namespace
