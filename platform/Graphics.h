// Device-independent bitmaps: 8, 24 or 32 bits per pixel, rows top-down with each row
// padded to 4 bytes, pixel memory owned or attached. A bitmap's Handle() describes its
// memory so that another library can draw straight into it by attaching to it.
// Threads: a bitmap is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "SysUtils.h"

enum TPixelFormat { pf8bit, pf24bit, pf32bit };

// What a bitmap handle points at. The memory stays the owner's; an attached bitmap must
// not outlive it or see it resized.
struct TBitmapData {
  int32_t Width;
  int32_t Height;
  int32_t BitsPerPixel;
  int32_t Stride;  // bytes from one row to the next
  uint8_t* Bits;   // row 0, the top row
};
using HBITMAP = TBitmapData*;

class SVP_API TBitmap : public TObject {
 public:
  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int32_t Width() const { return FData.Width; }
  int32_t Height() const { return FData.Height; }
  int32_t Stride() const { return FData.Stride; }
  TPixelFormat PixelFormat() const { return FFormat; }
  // New pixels are 0; the part of the old image that still fits is kept.
  void SetSize(int32_t width, int32_t height);
  void SetWidth(int32_t width) { SetSize(width, FData.Height); }
  void SetHeight(int32_t height) { SetSize(FData.Width, height); }
  // Converts the pixels: 24 to 32 leaves the fourth byte 0, 32 to 24 drops it, to 8 bits
  // keeps a grey level, from 8 bits repeats it in every channel.
  void SetPixelFormat(TPixelFormat format);
  // Row y (0 at the top); y must lie inside the bitmap.
  uint8_t* ScanLine(int32_t y) const { return FData.Bits + ptrdiff_t(y) * FData.Stride; }
  HBITMAP Handle() { return &FData; }
  // Draws in another bitmap's memory from now on (its size and format included).
  void Attach(HBITMAP handle);
  bool Attached() const { return FAttached; }
  // Same size, format and pixels as `source`, in memory of its own.
  void Assign(const TBitmap& source);

 private:
  void Release();
  static int32_t StrideFor(int32_t width, int32_t bitsPerPixel);

  TBitmapData FData{0, 0, 32, 0, nullptr};
  TPixelFormat FFormat = pf32bit;
  bool FAttached = false;
};
