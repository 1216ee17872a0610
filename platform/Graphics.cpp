#include "Graphics.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

namespace {

int32_t BitsOf(TPixelFormat f) { return f == pf8bit ? 8 : f == pf24bit ? 24 : 32; }

// Pixels come 64-byte aligned, whole cache lines, zeroed; the alignment is made by hand,
// the block's own address kept just before. A large picture's memory is made present and
// its own at once, one call for all its pages: left as calloc gives it, each page costs a
// fault at its first touch, and a first read (a frame copied before anything was drawn in
// it) maps the shared zero page, which the first write must then replace on every processor.
constexpr size_t kPresentPixels = size_t(64) << 10;

void MakePresent(void* bits, size_t bytes) {
  static const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
  const uintptr_t from = (reinterpret_cast<uintptr_t>(bits) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(bits) + bytes) & ~(page - 1);
  if (to <= from) return;
#ifdef MADV_POPULATE_WRITE
  if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE) == 0) return;
#endif
  std::memset(reinterpret_cast<void*>(from), 0, to - from);  // an older kernel: by hand
}

uint8_t* AllocatePixels(size_t bytes) {
  if (bytes == 0) return nullptr;
  constexpr size_t kAlign = 64;
  const size_t rounded = (bytes + kAlign - 1) & ~(kAlign - 1);
  if (rounded > SIZE_MAX - 2 * kAlign) throw std::bad_alloc();
  void* block = std::calloc(1, rounded + 2 * kAlign);
  if (!block) throw std::bad_alloc();
  const uintptr_t start = (reinterpret_cast<uintptr_t>(block) + sizeof(void*) + kAlign - 1) & ~uintptr_t(kAlign - 1);
  reinterpret_cast<void**>(start)[-1] = block;
  if (bytes >= kPresentPixels) MakePresent(reinterpret_cast<void*>(start), bytes);
  return reinterpret_cast<uint8_t*>(start);
}

void FreePixels(uint8_t* bits) {
  if (bits) std::free(reinterpret_cast<void**>(bits)[-1]);
}

uint8_t Grey(uint8_t b, uint8_t g, uint8_t r) { return uint8_t((r * 77 + g * 150 + b * 29) >> 8); }

}  // namespace

TBitmap::TBitmap() = default;

TBitmap::~TBitmap() { Release(); }

void TBitmap::Release() {
  if (!FAttached) FreePixels(FData.Bits);
  FData.Bits = nullptr;
  FAttached = false;
}

int32_t TBitmap::StrideFor(int32_t width, int32_t bitsPerPixel) {
  return int32_t(((int64_t(width) * bitsPerPixel + 31) / 32) * 4);
}

void TBitmap::SetSize(int32_t width, int32_t height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == FData.Width && height == FData.Height) return;
  const int32_t bpp = BitsOf(FFormat);
  const int32_t stride = StrideFor(width, bpp);
  uint8_t* bits = AllocatePixels(size_t(stride) * size_t(height));
  const int32_t rows = std::min(height, FData.Height);
  const size_t rowBytes = size_t(std::min(width, FData.Width)) * size_t(bpp / 8);
  for (int32_t y = 0; y < rows; ++y) std::memcpy(bits + size_t(y) * size_t(stride), ScanLine(y), rowBytes);
  Release();
  FData = TBitmapData{width, height, bpp, stride, bits};
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == FFormat) return;
  const int32_t from = BitsOf(FFormat), to = BitsOf(format);
  const int32_t stride = StrideFor(FData.Width, to);
  uint8_t* bits = AllocatePixels(size_t(stride) * size_t(FData.Height));
  for (int32_t y = 0; y < FData.Height; ++y) {
    const uint8_t* s = ScanLine(y);
    uint8_t* d = bits + size_t(y) * size_t(stride);
    for (int32_t x = 0; x < FData.Width; ++x) {
      uint8_t b, g, r, a = 0;
      if (from == 8) {
        b = g = r = s[x];
      } else {
        const uint8_t* p = s + x * (from / 8);
        b = p[0];
        g = p[1];
        r = p[2];
        if (from == 32) a = p[3];
      }
      if (to == 8) {
        d[x] = Grey(b, g, r);
      } else {
        uint8_t* q = d + x * (to / 8);
        q[0] = b;
        q[1] = g;
        q[2] = r;
        if (to == 32) q[3] = from == 32 ? a : 0;
      }
    }
  }
  Release();
  FData = TBitmapData{FData.Width, FData.Height, to, stride, bits};
  FFormat = format;
}

void TBitmap::Attach(HBITMAP handle) {
  Release();
  FData = *handle;
  FFormat = handle->BitsPerPixel == 8 ? pf8bit : handle->BitsPerPixel == 24 ? pf24bit : pf32bit;
  FAttached = true;
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(this);
  return *FCanvas;
}

void TBitmap::Swap(TBitmap& other) noexcept {
  std::swap(FData, other.FData);
  std::swap(FFormat, other.FFormat);
  std::swap(FAttached, other.FAttached);
}

void TBitmap::Assign(const TBitmap& source) {
  if (&source == this) return;
  const size_t bytes = size_t(source.FData.Stride) * size_t(source.FData.Height);
  uint8_t* bits = AllocatePixels(bytes);
  if (bytes) std::memcpy(bits, source.FData.Bits, bytes);
  Release();
  FData = source.FData;
  FData.Bits = bits;
  FFormat = source.FFormat;
}
