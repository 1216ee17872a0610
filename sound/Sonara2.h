// The sound player library's interfaces: ISonara2 plays PCM from any ISonaraData2 source
// through the wave output, on a playback thread of its own. The interfaces have the COM
// binary layout (a table of functions in slot order, no virtual destructor); objects
// are made and freed inside their own library and counted by AddRef/Release.
// Threads: a player's methods are called from the host's threads; a source serialises
// its own methods, since the playback thread and the host both call it.
#pragma once

#include <cstdint>

struct SonaraIID {
  uint8_t Bytes[16];
};

constexpr int32_t SONARA_E_NOINTERFACE = int32_t(0x80004002);

inline bool SonaraSameIID(const SonaraIID* a, const SonaraIID& b) {
  if (!a) return false;
  for (int i = 0; i < 16; ++i)
    if (a->Bytes[i] != b.Bytes[i]) return false;
  return true;
}

// {00000000-0000-0000-C000-000000000046}
constexpr SonaraIID IID_IUnknown{{0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {43E53202-6BF1-4BFE-8C84-72DC30C24F05} (bytes as Windows stores a GUID)
constexpr SonaraIID IID_ISonara2{{0x02, 0x32, 0xE5, 0x43, 0xF1, 0x6B, 0xFE, 0x4B, 0x8C, 0x84, 0x72, 0xDC, 0x30, 0xC2, 0x4F, 0x05}};
// {E99DCA8E-724A-4797-ABB4-865DECF8ED27}
constexpr SonaraIID IID_ISonaraData2{{0x8E, 0xCA, 0x9D, 0xE9, 0x4A, 0x72, 0x97, 0x47, 0xAB, 0xB4, 0x86, 0x5D, 0xEC, 0xF8, 0xED, 0x27}};
// {D97F3069-9164-4AA7-A29B-707A8F6CDA17}
constexpr SonaraIID IID_ISonaraData2Ogg{{0x69, 0x30, 0x7F, 0xD9, 0x64, 0x91, 0xA7, 0x4A, 0xA2, 0x9B, 0x70, 0x7A, 0x8F, 0x6C, 0xDA, 0x17}};

struct SonaraCreateOptions {
  int32_t bufferMilliseconds;  // 0: 500
};
struct SonaraPlayOptions {
  int32_t loop;  // nonzero: go on from the start at the end, without a gap
};
struct SonaraFormat {
  int32_t channels;
  int32_t samplesPerSec;
  int32_t bitsPerSample;
  int32_t reserved;  // the Ogg source sets 1
};

constexpr uint32_t SONARA_SEEK_SET = 0;
constexpr uint32_t SONARA_SEEK_CUR = 1;
constexpr uint32_t SONARA_SEEK_MS = 0x20000000;
constexpr uint32_t SONARA_SEEK_EXACT = 0x40000000;

struct ISonaraUnknown {
  virtual int32_t QueryInterface(const SonaraIID* iid, void** out) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
};

struct ISonaraData2 : ISonaraUnknown {
  // *size: room on entry, bytes delivered on return. 0: more follows; 2: the end.
  virtual int32_t Read(uint8_t* buffer, uint32_t* size) = 0;
  virtual int32_t Seek(int32_t position, uint32_t flags) = 0;
  virtual int32_t Open(SonaraFormat* format) = 0;
  virtual int32_t Close() = 0;
  virtual int32_t GetPosition() = 0;
};

struct ISonara2 : ISonaraUnknown {
  virtual int32_t SetData(ISonaraData2* data) = 0;
  virtual int32_t DetachData() = 0;
  virtual int32_t Play(const SonaraPlayOptions* options) = 0;  // -8 playing, -9 no source
  virtual int32_t Stop(int32_t keepPosition) = 0;
  virtual int32_t Seek(int32_t position, uint32_t flags) = 0;
  virtual int32_t IsPlaying() = 0;
};

// A player's volume, through QueryInterface(IID_ISonara2Volume) on the player: from 0
// (silent) to 100, the sound as it is (the default). It applies to what is played from then
// on, within a buffer's length.
// {6A1F0C3E-58B2-4D71-9E40-3C7B2A9D15F8}
constexpr SonaraIID IID_ISonara2Volume{{0x3E, 0x0C, 0x1F, 0x6A, 0xB2, 0x58, 0x71, 0x4D, 0x9E, 0x40, 0x3C, 0x7B, 0x2A, 0x9D, 0x15, 0xF8}};
struct ISonara2Volume : ISonaraUnknown {
  // 0, or -1 (nothing changed) for a value outside 0..100.
  virtual int32_t SetVolume(int32_t percent) = 0;
  virtual int32_t GetVolume() = 0;
};

#define SONARA_API extern "C" __attribute__((visibility("default")))

// Makes a player; 0, or -1 (with *player null) when the object does not answer ISonara2.
SONARA_API int32_t Sonara2Create(ISonara2** player, const SonaraCreateOptions* options);
