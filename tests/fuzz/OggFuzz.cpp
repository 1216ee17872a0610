// Ogg Vorbis files through the plug-in: opened, read to the end, sought every way. The
// pages' checksums are set first, so that mutations reach the decoder.
#include <ogg/ogg.h>

#include <vector>

#include "FuzzSupport.h"
#include "sound/SonaraOgg.h"

namespace {
void FixChecksums(std::vector<uint8_t>& b) {
  size_t pos = 0;
  while (pos + 27 <= b.size()) {
    if (b[pos] != 'O' || b[pos + 1] != 'g' || b[pos + 2] != 'g' || b[pos + 3] != 'S') {
      ++pos;
      continue;
    }
    const size_t segments = b[pos + 26];
    if (pos + 27 + segments > b.size()) break;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += b[pos + 27 + i];
    if (pos + 27 + segments + body > b.size()) break;
    ogg_page page{&b[pos], long(27 + segments), &b[pos + 27 + segments], long(body)};
    ogg_page_checksum_set(&page);
    pos += 27 + segments + body;
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  FixChecksums(bytes);
  const std::string path = WriteInput("sound.ogg", bytes.data(), bytes.size());
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
