// PNG and JPEG files through the image decoder, into each bitmap format.
#include "FuzzSupport.h"
#include "common/Ombrix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = WriteInput("image", data, size);
  HOMBRIX image = nullptr;
  if (CreateOmbrix(&image, path.c_str()) != 0) return 0;
  TOmbrixInfo info{};
  GetOmbrixInfo(image, &info);
  static TBitmap bitmaps[3];
  static const bool made = [] {
    const TPixelFormat formats[3] = {pf32bit, pf24bit, pf8bit};
    for (int i = 0; i < 3; ++i) {
      bitmaps[i].SetPixelFormat(formats[i]);
      bitmaps[i].SetSize(37 + i, 29 + i);
    }
    return true;
  }();
  (void)made;
  GetImageDataToBitmap(image, bitmaps[size % 3].Handle());
  DeleteOmbrix(&image);
  return 0;
}
