// Wave output with the waveOut calls. Every open is a device of its own to its caller;
// underneath, one back end serves them all, chosen by SORVANE_AUDIO:
//   sdl (default)  one SDL output for the process, every device mixed into it
//   null           no sound, buffers consumed at the pace of their playing time
//   capture:DIR    each device's played bytes appended raw to DIR/wave-N.pcm, for tests
//                  (WaveOutCapture.h)
// When SDL cannot open an output (no sound card, or only its dummy driver) the null back
// end takes over. A completed buffer is announced with MM_WOM_DONE to the callback thread.
// Threads: any thread may call; notices arrive on the callback thread's message queue.
#pragma once

#include <cstdint>

#include "Messages.h"

struct TWaveDevice;
using HWAVEOUT = TWaveDevice*;
using MMRESULT = uint32_t;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_UNPREPARED = 34;
constexpr UINT WAVE_MAPPER = UINT(-1);
constexpr DWORD CALLBACK_THREAD = 0x20000;
constexpr UINT MM_WOM_OPEN = 0x3BB;
constexpr UINT MM_WOM_CLOSE = 0x3BC;
constexpr UINT MM_WOM_DONE = 0x3BD;
constexpr DWORD WHDR_DONE = 1;
constexpr DWORD WHDR_PREPARED = 2;
constexpr DWORD WHDR_INQUEUE = 0x10;
constexpr UINT TIME_BYTES = 4;

struct WAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
};

struct WAVEHDR {
  char* lpData;
  DWORD dwBufferLength;
  DWORD dwBytesRecorded;
  uintptr_t dwUser;
  DWORD dwFlags;
  DWORD dwLoops;
  WAVEHDR* lpNext;
  uintptr_t reserved;
};

struct MMTIME {
  UINT wType;
  DWORD cb;  // bytes, for TIME_BYTES
};

// What wave output plays: 8- or 16-bit PCM, 1 to 8 channels, 1000 to 384000 frames a
// second. waveOutOpen refuses anything else with WAVERR_BADFORMAT.
constexpr uint32_t kWaveMaxChannels = 8;
constexpr uint32_t kWaveMinRate = 1000;
constexpr uint32_t kWaveMaxRate = 384000;
constexpr bool WaveFormatPlayable(int64_t channels, int64_t rate, int64_t bits) {
  return channels >= 1 && channels <= kWaveMaxChannels && rate >= kWaveMinRate && rate <= kWaveMaxRate &&
         (bits == 8 || bits == 16);
}

SVP_API MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, uintptr_t callback,
                             uintptr_t instance, DWORD flags);
SVP_API MMRESULT waveOutClose(HWAVEOUT device);
SVP_API MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size);
SVP_API MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size);
SVP_API MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT size);
SVP_API MMRESULT waveOutPause(HWAVEOUT device);
SVP_API MMRESULT waveOutRestart(HWAVEOUT device);
// Returns every queued buffer as done and sets the position back to 0.
SVP_API MMRESULT waveOutReset(HWAVEOUT device);
// Bytes played since the device was opened (or last reset).
SVP_API MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT size);

// The back end in use: "sdl", "null" or "capture".
SVP_API const char* WaveOutBackendName();

