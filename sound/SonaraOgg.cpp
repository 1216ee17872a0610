// The Ogg Vorbis data source over libvorbisfile, which stands for the decoder library:
// the library's ov_ functions are the decoder's wu_ov_ functions. It is bound when the
// plug-in is loaded (a dynamic dependency), so a plug-in that loads has its decoder.
#include "sound/SonaraOgg.h"

#include <vorbis/vorbisfile.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/Files.h"
#include "platform/VersionBlock.h"
#include "platform/WaveOut.h"
#include "sound/VorbisSetup.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=1.0.2.3\n"
    "StringFileInfo\\041103A4\\FileDescription=Sonara2 Ogg Vorbis plug-in\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n"
    "StringFileInfo\\041103A4\\InternalName=SonaraOgg.dll\n")

namespace {

constexpr size_t kMaxPath = 260;
constexpr uint32_t kReadSlack = 4096;
constexpr int kMaxDecoderCalls = 1000;
// The headers of any real file end long before this.
constexpr size_t kMaxHeaderBytes = size_t(4) * 1024 * 1024;
static_assert(sizeof(OggVorbis_File) <= 960, "the decoder's record must fit the object's reserved block");

size_t ReadCallback(void* ptr, size_t size, size_t count, void* stream) {
  return std::fread(ptr, size, count, static_cast<std::FILE*>(stream));
}
int SeekCallback(void* stream, ogg_int64_t offset, int origin) {
  return std::fseek(static_cast<std::FILE*>(stream), long(int32_t(offset)), origin);
}
int CloseCallback(void* stream) { return std::fclose(static_cast<std::FILE*>(stream)); }
long TellCallback(void* stream) { return std::ftell(static_cast<std::FILE*>(stream)); }
const ov_callbacks kCallbacks{ReadCallback, SeekCallback, CloseCallback, TellCallback};

class COgg final : public ISonaraData2 {
 public:
  int32_t QueryInterface(const SonaraIID* iid, void** out) override {
    if (!out) return SONARA_E_NOINTERFACE;
    if (SonaraSameIID(iid, IID_IUnknown) || SonaraSameIID(iid, IID_ISonaraData2) || SonaraSameIID(iid, IID_ISonaraData2Ogg)) {
      *out = static_cast<ISonaraData2*>(this);
      AddRef();
      return 0;
    }
    *out = nullptr;
    return SONARA_E_NOINTERFACE;
  }
  int32_t AddRef() override { return ++FRefCount; }
  int32_t Release() override {
    const int32_t n = --FRefCount;
    if (n <= 0) {
      {
        std::lock_guard<std::mutex> lock(FLock);
        if (FOpen) ov_clear(&FDecoder);  // a source released while open still gives its file back
        FOpen = false;
      }
      delete this;
      return 0;
    }
    return n;
  }

  int32_t Read(uint8_t* buffer, uint32_t* size) override {
    std::lock_guard<std::mutex> lock(FLock);
    const uint32_t room = *size;
    *size = 0;
    if (!FOpen) return -5;
    if (FBroken) return 2;
    uint32_t gathered = 0;
    int calls = 0;
    int32_t result = 0;
    do {
      int link = 0;
      const long got = ov_read(&FDecoder, reinterpret_cast<char*>(buffer) + gathered, int(room - gathered), 0, 2, 1,
                               &link);
      ++calls;
      if (got == OV_HOLE) continue;  // a gap in the data: decoding goes on after it
      if (got == 0) {
        result = 2;
        break;
      }
      if (got < 0) {
        // An unreadable stream ends like the stream's end. The decoder is not asked again:
        // after a failed set-up it would decode with half-made codebooks.
        FBroken = true;
        result = 2;
        break;
      }
      gathered += uint32_t(got);
    } while (room - gathered >= kReadSlack && calls < kMaxDecoderCalls);
    *size = gathered;
    FPosition += int32_t(gathered);
    return result;
  }

  int32_t Seek(int32_t position, uint32_t flags) override {
    std::lock_guard<std::mutex> lock(FLock);
    int64_t offset = position;
    if (FOpen && FBroken) return -10;
    if (FEmpty && FOpen) {
      FPosition = 0;  // nothing to seek in
      return 0;
    }
    if (flags & SONARA_SEEK_MS) {
      int channels = 0;
      long rate = 0;
      if (!FOpen) {
        const int32_t r = OpenStep();
        if (r != 0) return r;
        const vorbis_info* vi = ov_info(&FDecoder, -1);
        if (vi) channels = vi->channels, rate = vi->rate;
        ClearDecoder();
      } else if (const vorbis_info* vi = ov_info(&FDecoder, -1)) {
        channels = vi->channels, rate = vi->rate;
      }
      if (channels == 0) return -10;
      offset = int64_t(uint64_t(int64_t(position) * channels * rate * 2) / 1000u);
    }
    int64_t target;
    switch (flags & 0xF) {
      case SONARA_SEEK_SET: target = offset; break;
      case SONARA_SEEK_CUR: target = int64_t(FPosition) + offset; break;
      default: target = offset; break;
    }
    if (!FOpen) {
      FPosition = int32_t(target);  // applied by the next Open
      return 0;
    }
    const vorbis_info* vi = ov_info(&FDecoder, -1);
    if (!vi) return -10;
    const ogg_int64_t frame = ogg_int64_t(uint64_t(uint32_t(int32_t(target))) / 2 / uint32_t(vi->channels));
    const int r = (flags & SONARA_SEEK_EXACT) ? ov_pcm_seek(&FDecoder, frame) : ov_pcm_seek_lap(&FDecoder, frame);
    if (r != 0) {
      FBroken = r != OV_EINVAL;  // past the end is refused; anything else broke the decoder
      return -10;
    }
    FPosition = int32_t(ov_pcm_tell(&FDecoder) * 2 * vi->channels);
    return 0;
  }

  int32_t Open(SonaraFormat* format) override {
    std::lock_guard<std::mutex> lock(FLock);
    const int32_t r = OpenStep();
    if (r != 0) return r;
    const vorbis_info* vi = ov_info(&FDecoder, -1);
    if (!vi) {
      ClearDecoder();
      return -3;
    }
    if (format) *format = SonaraFormat{vi->channels, int32_t(vi->rate), 16, 1};
    if (FEmpty) {
      FPosition = 0;
      return 0;
    }
    // Continue from the stored position, snapped to a whole frame.
    const int seek = ov_pcm_seek(&FDecoder, ogg_int64_t((uint32_t(FPosition) / 2) / uint32_t(vi->channels)));
    FBroken = seek != 0 && seek != OV_EINVAL;
    FPosition = int32_t(int64_t(ov_pcm_tell(&FDecoder)) * 2 * vi->channels);
    return 0;
  }

  int32_t Close() override {
    std::lock_guard<std::mutex> lock(FLock);
    ClearDecoder();
    return 0;
  }

  int32_t GetPosition() override {
    std::lock_guard<std::mutex> lock(FLock);
    return FPosition;
  }

  // Lock held. -7 open already, -2 no file (or no regular file), -3 not Ogg Vorbis that
  // wave output can play and the decoder can decode safely: one stream, a playable format,
  // a setup header without the shapes that break the decoder.
  int32_t OpenStep() {
    if (FOpen) return -7;
    std::FILE* f = OpenRegularFileStream(FFileName);
    if (!f) return -2;
    const bool safe = VorbisFileSetupSafe(f, kMaxHeaderBytes);
    if (!safe || std::fseek(f, 0, SEEK_SET) != 0 || ov_open_callbacks(f, &FDecoder, nullptr, 0, kCallbacks) < 0) {
      std::fclose(f);
      return -3;
    }
    FOpen = true;
    const vorbis_info* vi = ov_info(&FDecoder, -1);
    if (ov_streams(&FDecoder) != 1 || !vi || !WaveFormatPlayable(vi->channels, vi->rate, 16)) {
      ClearDecoder();
      return -3;
    }
    FEmpty = ov_pcm_total(&FDecoder, -1) <= 0;
    FBroken = false;
    // The decoder makes itself ready on the first decode; one whose set-up fails then is
    // refused here, before anything can decode with it.
    if (!FEmpty && ov_pcm_seek(&FDecoder, 0) != 0) {
      ClearDecoder();
      return -3;
    }
    return 0;
  }

  void ClearDecoder() {
    if (FOpen) ov_clear(&FDecoder);
    FOpen = false;
  }

  std::atomic<int32_t> FRefCount{0};
  OggVorbis_File FDecoder{};
  bool FOpen = false;
  bool FEmpty = false;  // the stream holds no samples: reads end at once, seeks stay at 0
  bool FBroken = false;  // the decoder failed: reads end, seeks fail, until it is opened again
  int32_t FPosition = 0;
  char FFileName[kMaxPath] = {};
  std::mutex FLock;
};

}  // namespace

int32_t SonaraData2OggCreateFromFile(ISonaraData2** out, const char* fileName) {
  if (!out) return -1;
  *out = nullptr;
  auto* object = new (std::nothrow) COgg();
  if (!object) return -6;
  void* iface = nullptr;
  if (object->QueryInterface(&IID_ISonaraData2Ogg, &iface) != 0) {
    delete object;
    return -1;
  }
  std::strncpy(object->FFileName, fileName ? fileName : "", kMaxPath - 1);
  bool opens;
  {
    std::lock_guard<std::mutex> lock(object->FLock);
    opens = object->OpenStep() == 0;
    object->ClearDecoder();
  }
  if (!opens) {
    object->Release();
    return -3;
  }
  *out = static_cast<ISonaraData2*>(iface);
  return 0;
}
