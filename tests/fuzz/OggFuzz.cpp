// Ogg Vorbis files through the plug-in: opened, read to the end, sought every way. The
// pages' checksums are set first, so that mutations reach the decoder.
#include "../sound/OggFixture.h"
#include "FuzzSupport.h"
#include "sound/SonaraOgg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  FixOggChecksums(bytes);
  const std::string path = WriteInput("sound.ogg", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  ISonaraData2* source = nullptr;
  if (SonaraData2OggCreateFromFile(&source, path.c_str()) != 0) return 0;
  SonaraFormat format{};
  if (source->Open(&format) == 0) {
    static uint8_t buffer[16384];
    for (int i = 0; i < 64; ++i) {
      uint32_t n = sizeof buffer;
      if (source->Read(buffer, &n) != 0) break;
    }
    const int32_t positions[] = {0, 1, -1, 123456, 1 << 30, -(1 << 30)};
    for (int32_t p : positions)
      for (uint32_t flags : {SONARA_SEEK_SET, SONARA_SEEK_CUR, SONARA_SEEK_MS, SONARA_SEEK_SET | SONARA_SEEK_EXACT}) {
        source->Seek(p, flags);
        uint32_t n = 4096;
        source->Read(buffer, &n);
      }
    source->Close();
  }
  source->Release();
  return 0;
}
