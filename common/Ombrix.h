// The image decoder library's four functions (libombrix.so): open a PNG or JPEG file,
// tell its size and colour type, decode it into a bitmap, release it. Every image comes
// out with 8 bits per channel; colour type 1 has no transparency, 129 has (an alpha
// channel or a transparent colour), written as a transparency byte (255 - alpha).
// Threads: a handle is used by one thread at a time; different handles are independent.
#pragma once

#include <cstdint>

#include "platform/Graphics.h"

#define OMBRIX_API extern "C" __attribute__((visibility("default")))

struct TOmbrix;
using HOMBRIX = TOmbrix*;

struct TOmbrixInfo {
  int32_t Width;
  int32_t Height;
  int32_t BitDepth;
  int32_t ColorType;
};
static_assert(sizeof(TOmbrixInfo) == 16);

constexpr int32_t OMBRIX_COLOR_RGB = 1;
constexpr int32_t OMBRIX_COLOR_RGB_TRANSPARENT = 129;

// 0 when the file was opened and its header read; *handle then holds the decoder.
OMBRIX_API int32_t CreateOmbrix(HOMBRIX* handle, const char* fileName);
OMBRIX_API int32_t GetOmbrixInfo(HOMBRIX handle, TOmbrixInfo* info);
// 0 when the pixels were written into the bitmap, which already has its size and format
// (8, 24 or 32 bits). Where sizes differ, the common part is written.
OMBRIX_API int32_t GetImageDataToBitmap(HOMBRIX handle, HBITMAP bitmap);
OMBRIX_API int32_t DeleteOmbrix(HOMBRIX* handle);
