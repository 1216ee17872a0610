// PNG through libpng, JPEG through libjpeg-turbo. The header is read when the file is
// opened; the pixels are decoded when asked for, to 8-bit BGRA with a transparency byte.
#include "common/Ombrix.h"

#include <jpeglib.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace {

// Images larger than this are refused from their header, before any pixel memory is
// taken: 16 megapixels (64 MB decoded) is far beyond what an 800x600 story shows.
constexpr int32_t kMaxSide = 16384;
constexpr uint64_t kMaxPixels = uint64_t(4096) * 4096;

bool SizeAllowed(uint64_t w, uint64_t h) { return w > 0 && h > 0 && w <= kMaxSide && h <= kMaxSide && w * h <= kMaxPixels; }

// Takes the pixel memory without letting an exception through the decoders' C frames.
bool TakePixels(std::vector<uint8_t>& pixels, size_t bytes) {
  try {
    pixels.assign(bytes, 0);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// Where a decoder writes its BGRA rows: straight into a bitmap's memory when it is given
// one, else into memory of its own.
class TPixelRows {
 public:
  explicit TPixelRows(std::vector<uint8_t>& own) : FOwn(&own) {}
  TPixelRows(uint8_t* bits, ptrdiff_t stride) : FBits(bits), FStride(stride) {}
  // Ready for rows of a w x h image; false when there is no memory for them.
  bool Take(size_t w, size_t h) {
    if (!FOwn) return true;
    if (!TakePixels(*FOwn, w * h * 4)) return false;
    FBits = FOwn->data();
    FStride = ptrdiff_t(w * 4);
    return true;
  }
  uint8_t* Row(size_t y) const { return FBits + ptrdiff_t(y) * FStride; }

 private:
  std::vector<uint8_t>* FOwn = nullptr;
  uint8_t* FBits = nullptr;
  ptrdiff_t FStride = 0;
};

enum class TImageFormat { Png, Jpeg };

}  // namespace

struct TOmbrix {
  TImageFormat Kind;
  std::string Bytes;
  TOmbrixInfo Info{};
};

namespace {

// ---------------------------------------------------------------- PNG

struct PngReader {
  const std::string* Bytes;
  size_t Pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t n) {
  auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (r->Pos + n > r->Bytes->size()) png_error(png, "truncated");
  std::memcpy(out, r->Bytes->data() + r->Pos, n);
  r->Pos += n;
}

void PngWarning(png_structp, png_const_charp) {}
// Broken files are expected here: fail quietly.
[[noreturn]] void PngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

// Reads the header and, with `pixels`, the whole image as BGRA rows (alpha as alpha).
bool DecodePng(const std::string& bytes, TOmbrixInfo& info, TPixelRows* pixels) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, PngError, PngWarning);
  if (!png) return false;
  png_infop pi = png_create_info_struct(png);
  if (!pi) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  PngReader reader{&bytes, 0};
  std::vector<png_bytep>* rows = new (std::nothrow) std::vector<png_bytep>();
  bool ok = false;
  if (rows && setjmp(png_jmpbuf(png)) == 0) {
    png_set_read_fn(png, &reader, PngRead);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_read_info(png, pi);
    const png_uint_32 w = png_get_image_width(png, pi), h = png_get_image_height(png, pi);
    const int colorType = png_get_color_type(png, pi);
    const bool transparent = (colorType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, pi, PNG_INFO_tRNS);
    info = TOmbrixInfo{int32_t(w), int32_t(h), 8, transparent ? OMBRIX_COLOR_RGB_TRANSPARENT : OMBRIX_COLOR_RGB};
    if (!SizeAllowed(w, h)) png_error(png, "size");
    if (pixels) {
      png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
      png_set_strip_16(png);
      png_set_gray_to_rgb(png);
      png_set_bgr(png);
      if (!(colorType & PNG_COLOR_MASK_ALPHA) && !png_get_valid(png, pi, PNG_INFO_tRNS))
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
      png_set_interlace_handling(png);
      png_read_update_info(png, pi);
      if (png_get_rowbytes(png, pi) != size_t(w) * 4) png_error(png, "layout");
      if (!pixels->Take(w, h)) png_error(png, "memory");
      rows->resize(h);
      for (png_uint_32 y = 0; y < h; ++y) (*rows)[y] = pixels->Row(y);
      png_read_image(png, rows->data());
    }
    ok = true;
  }
  png_destroy_read_struct(&png, &pi, nullptr);
  delete rows;
  return ok;
}

// ---------------------------------------------------------------- JPEG

struct JpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
};

void JpegExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->Jump, 1); }
void JpegMessage(j_common_ptr) {}

bool DecodeJpeg(const std::string& bytes, TOmbrixInfo& info, TPixelRows* pixels) {
  // Zeroed first, so that destroying it is safe wherever an error leaves it.
  jpeg_decompress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  JpegError err;
  cinfo.err = jpeg_std_error(&err.Mgr);
  err.Mgr.error_exit = JpegExit;
  err.Mgr.output_message = JpegMessage;
  bool ok = false;
  if (setjmp(err.Jump) == 0) {
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    const JDIMENSION w = cinfo.image_width, h = cinfo.image_height;
    info = TOmbrixInfo{int32_t(w), int32_t(h), 8, OMBRIX_COLOR_RGB};
    if (!SizeAllowed(w, h)) JpegExit(reinterpret_cast<j_common_ptr>(&cinfo));
    if (pixels) {
      const bool isCmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
      cinfo.out_color_space = isCmyk ? JCS_CMYK : JCS_EXT_BGRA;
      jpeg_start_decompress(&cinfo);
      if (!pixels->Take(w, h)) JpegExit(reinterpret_cast<j_common_ptr>(&cinfo));
      while (cinfo.output_scanline < h) {
        uint8_t* row = pixels->Row(cinfo.output_scanline);
        JSAMPROW rows[1] = {row};
        jpeg_read_scanlines(&cinfo, rows, 1);
        if (isCmyk) {
          // Inverted CMYK as written by most programs: channel * K / 255.
          for (JDIMENSION x = 0; x < w; ++x) {
            uint8_t* p = row + x * 4;
            const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
            p[0] = uint8_t(y * k / 255);
            p[1] = uint8_t(m * k / 255);
            p[2] = uint8_t(c * k / 255);
            p[3] = 255;
          }
        }
      }
      jpeg_finish_decompress(&cinfo);
    }
    ok = true;
  }
  jpeg_destroy_decompress(&cinfo);
  return ok;
}

}  // namespace

int32_t CreateOmbrix(HOMBRIX* handle, const char* fileName) {
  if (!handle) return -1;
  *handle = nullptr;
  if (!fileName) return -1;
  auto o = std::unique_ptr<TOmbrix>(new (std::nothrow) TOmbrix());
  if (!o) return -2;
  try {
    if (ReadFileBytes(fileName, o->Bytes) != TFileRead::Ok || o->Bytes.empty()) return -3;
  } catch (const std::bad_alloc&) {
    return -2;
  }
  const auto& b = o->Bytes;
  if (b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0) {
    o->Kind = TImageFormat::Png;
    if (!DecodePng(b, o->Info, nullptr)) return -4;
  } else if (b.size() >= 3 && std::memcmp(b.data(), "\xFF\xD8\xFF", 3) == 0) {
    o->Kind = TImageFormat::Jpeg;
    if (!DecodeJpeg(b, o->Info, nullptr)) return -4;
  } else {
    return -5;  // not an image this decoder knows
  }
  *handle = o.release();
  return 0;
}

int32_t GetOmbrixInfo(HOMBRIX handle, TOmbrixInfo* info) {
  if (!handle || !info) return -1;
  *info = handle->Info;
  return 0;
}

namespace {

bool Decode(const TOmbrix& image, TOmbrixInfo& info, TPixelRows& rows) {
  return image.Kind == TImageFormat::Png ? DecodePng(image.Bytes, info, &rows) : DecodeJpeg(image.Bytes, info, &rows);
}

// The fourth byte as bitmaps keep it: transparency (255 - alpha) for an image that has
// alpha, else 0 (opaque).
void StoreTransparency(HBITMAP bitmap, int32_t w, int32_t h, bool transparent) {
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* d = bitmap->Bits + ptrdiff_t(y) * bitmap->Stride;
    for (int32_t x = 0; x < w; ++x) d[x * 4 + 3] = transparent ? uint8_t(255 - d[x * 4 + 3]) : 0;
  }
}

// The part of the decoded image that fits, in the bitmap's format.
void CopyPixels(const uint8_t* pixels, const TOmbrixInfo& info, HBITMAP bitmap) {
  const int32_t bpp = bitmap->BitsPerPixel;
  const bool transparent = info.ColorType == OMBRIX_COLOR_RGB_TRANSPARENT;
  const int32_t w = std::min(info.Width, bitmap->Width), h = std::min(info.Height, bitmap->Height);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = pixels + size_t(y) * size_t(info.Width) * 4;
    uint8_t* d = bitmap->Bits + ptrdiff_t(y) * bitmap->Stride;
    for (int32_t x = 0; x < w; ++x, s += 4) {
      if (bpp == 32) {
        std::memcpy(d + x * 4, s, 3);
        d[x * 4 + 3] = transparent ? uint8_t(255 - s[3]) : 0;
      } else if (bpp == 24) {
        d[x * 3 + 0] = s[0];
        d[x * 3 + 1] = s[1];
        d[x * 3 + 2] = s[2];
      } else {
        d[x] = uint8_t((s[2] * 77 + s[1] * 150 + s[0] * 29) >> 8);
      }
    }
  }
}

}  // namespace

int32_t GetImageDataToBitmap(HOMBRIX handle, HBITMAP bitmap) {
  if (!handle || !bitmap || !bitmap->Bits) return -1;
  const int32_t bpp = bitmap->BitsPerPixel;
  if (bpp != 8 && bpp != 24 && bpp != 32) return -1;
  TOmbrixInfo info{};
  try {
    // A 32-bit bitmap that holds the whole image is decoded into directly; a failed decode
    // leaves it as it was (zero, as bitmaps are made).
    const TOmbrixInfo& header = handle->Info;
    if (bpp == 32 && bitmap->Width >= header.Width && bitmap->Height >= header.Height) {
      TPixelRows rows(bitmap->Bits, bitmap->Stride);
      if (!Decode(*handle, info, rows)) {
        for (int32_t y = 0; y < header.Height; ++y)
          std::memset(bitmap->Bits + ptrdiff_t(y) * bitmap->Stride, 0, size_t(header.Width) * 4);
        return -4;
      }
      StoreTransparency(bitmap, info.Width, info.Height, info.ColorType == OMBRIX_COLOR_RGB_TRANSPARENT);
      return 0;
    }
    std::vector<uint8_t> pixels;
    TPixelRows rows(pixels);
    if (!Decode(*handle, info, rows)) return -4;
    CopyPixels(pixels.data(), info, bitmap);
  } catch (const std::bad_alloc&) {
    return -2;
  }
  return 0;
}

int32_t DeleteOmbrix(HOMBRIX* handle) {
  if (!handle) return -1;
  delete *handle;
  *handle = nullptr;
  return 0;
}
