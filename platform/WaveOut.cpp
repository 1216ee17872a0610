#include "WaveOut.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

enum class TBackend { Sdl, Null, Capture };

struct TConfig {
  TBackend Backend = TBackend::Sdl;
  std::string CaptureDir;
};

std::mutex gLock;  // guards the device list and every device's state
std::map<int, TWaveDevice*> gDevices;
int gOpenCount = 0;
bool gManual = false;

// ---------------------------------------------------------------- SDL output

struct TSdlOutput {
  SDL_AudioDeviceID Device = 0;
  SDL_AudioSpec Obtained{};
};
TSdlOutput* gSdl = nullptr;
void MixCallback(void*, Uint8* out, int len);

// Opens the one SDL output; false (and the null back end from then on) when there is none.
bool OpenSdl() {
  if (gSdl) return true;
  // ALSA complains on stderr when there is no card: keep that quiet.
  const int saved = ::dup(2);
  const int devnull = ::open("/dev/null", O_WRONLY);
  if (devnull >= 0) ::dup2(devnull, 2);
  bool ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
  const char* driver = ok ? SDL_GetCurrentAudioDriver() : nullptr;
  ok = ok && driver && std::strcmp(driver, "dummy") != 0 && std::strcmp(driver, "disk") != 0;
  auto* out = new TSdlOutput;
  if (ok) {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = MixCallback;
    out->Device = SDL_OpenAudioDevice(nullptr, 0, &want, &out->Obtained, 0);
    ok = out->Device != 0;
  }
  if (devnull >= 0) ::close(devnull);
  if (saved >= 0) {
    ::dup2(saved, 2);
    ::close(saved);
  }
  if (!ok) {
    delete out;
    return false;
  }
  gSdl = out;
  SDL_PauseAudioDevice(out->Device, 0);
  return true;
}

TConfig& Config() {
  static TConfig config = [] {
    TConfig c;
    const char* v = std::getenv("SORVANE_AUDIO");
    const std::string s = v ? v : "sdl";
    if (s == "null") c.Backend = TBackend::Null;
    else if (s.rfind("capture:", 0) == 0) c.Backend = TBackend::Capture, c.CaptureDir = s.substr(8);
    return c;
  }();
  return config;
}

}  // namespace

struct TWaveDevice {
  int Index = 0;
  WAVEFORMATEX Format{};
  DWORD CallbackThread = 0;
  TBackend Backend = TBackend::Null;
  std::deque<WAVEHDR*> Queue;
  bool Paused = false;
  bool Closing = false;
  uint64_t Played = 0;
  DWORD Partial = 0;
  std::FILE* Capture = nullptr;
  // null back end
  std::thread Pacer;
  std::condition_variable Wake;
  // sdl back end
  SDL_AudioStream* Stream = nullptr;
  uint64_t Fed = 0;          // source bytes given to the stream in all
  std::deque<uint64_t> Ends;  // where each fed buffer ends, in source bytes
};

namespace {

// Completes the front buffer (gLock held): counted as played, captured, announced.
void CompleteFront(TWaveDevice* d) {
  WAVEHDR* h = d->Queue.front();
  d->Queue.pop_front();
  if (d->Capture && h->dwBufferLength) {
    std::fwrite(h->lpData, 1, h->dwBufferLength, d->Capture);
    std::fflush(d->Capture);
  }
  d->Played += h->dwBufferLength;
  d->Partial = 0;
  h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  PostThreadMessage(d->CallbackThread, MM_WOM_DONE, reinterpret_cast<WPARAM>(d), reinterpret_cast<LPARAM>(h));
}

// What happens once buffers may play (gLock held).
void Kick(TWaveDevice* d) {
  if (d->Paused) return;
  if (d->Backend == TBackend::Capture && !gManual) {
    while (!d->Queue.empty()) CompleteFront(d);
  } else if (d->Backend == TBackend::Null) {
    d->Wake.notify_all();
  }
}

// The null back end: each buffer takes its playing time.
void PaceLoop(TWaveDevice* d) {
  std::unique_lock<std::mutex> lock(gLock);
  while (!d->Closing) {
    if (d->Paused || d->Queue.empty()) {
      d->Wake.wait(lock);
      continue;
    }
    const WAVEHDR* h = d->Queue.front();
    const double seconds = d->Format.nAvgBytesPerSec ? double(h->dwBufferLength) / d->Format.nAvgBytesPerSec : 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    if (d->Wake.wait_until(lock, until, [&] { return d->Closing || d->Paused || d->Queue.empty() || d->Queue.front() != h; }))
      continue;
    CompleteFront(d);
  }
}

void MixCallback(void*, Uint8* out, int len) {
  std::memset(out, 0, size_t(len));
  std::vector<int16_t> chunk(size_t(len) / 2);
  std::lock_guard<std::mutex> lock(gLock);
  for (auto& [index, d] : gDevices) {
    if (d->Backend != TBackend::Sdl || !d->Stream || d->Paused) continue;
    // Feed the buffers not yet fed, whole, until the stream holds enough for this callback.
    for (size_t i = d->Ends.size(); i < d->Queue.size() && SDL_AudioStreamAvailable(d->Stream) < len; ++i) {
      WAVEHDR* h = d->Queue[i];
      SDL_AudioStreamPut(d->Stream, h->lpData, int(h->dwBufferLength));
      d->Fed += h->dwBufferLength;
      d->Ends.push_back(d->Fed);
    }
    const int got = SDL_AudioStreamGet(d->Stream, chunk.data(), len);
    if (got <= 0) continue;
    auto* mix = reinterpret_cast<int16_t*>(out);
    for (int k = 0; k < got / 2; ++k) mix[k] = int16_t(std::clamp(int(mix[k]) + int(chunk[size_t(k)]), -32768, 32767));
    // Buffers whose bytes have all left the stream have been played.
    const double ratio = double(d->Format.nAvgBytesPerSec) / double(gSdl->Obtained.freq * 4);
    const uint64_t consumed = d->Fed - uint64_t(double(SDL_AudioStreamAvailable(d->Stream)) * ratio);
    while (!d->Ends.empty() && d->Ends.front() <= consumed && !d->Queue.empty()) {
      d->Ends.pop_front();
      CompleteFront(d);
    }
  }
}

TWaveDevice* Valid(HWAVEOUT device) {
  for (auto& [i, d] : gDevices)
    if (d == device) return d;
  return nullptr;
}

}  // namespace

MMRESULT waveOutOpen(HWAVEOUT* device, UINT, const WAVEFORMATEX* format, uintptr_t callback, uintptr_t, DWORD flags) {
  if (!device || !format) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (format->wFormatTag != 1 ||
      !WaveFormatPlayable(format->nChannels, format->nSamplesPerSec, format->wBitsPerSample))
    return WAVERR_BADFORMAT;
  auto* d = new TWaveDevice;
  d->Format = *format;
  d->CallbackThread = (flags & CALLBACK_THREAD) ? DWORD(callback) : 0;
  TBackend backend = Config().Backend;
  std::unique_lock<std::mutex> lock(gLock);
  if (backend == TBackend::Sdl && !OpenSdl()) backend = Config().Backend = TBackend::Null;
  d->Backend = backend;
  d->Index = gOpenCount++;
  if (backend == TBackend::Capture) {
    const std::string path = Config().CaptureDir + "/wave-" + std::to_string(d->Index) + ".pcm";
    d->Capture = std::fopen(path.c_str(), "wb");
    if (!d->Capture) {
      delete d;
      return MMSYSERR_ERROR;
    }
  } else if (backend == TBackend::Sdl) {
    d->Stream = SDL_NewAudioStream(format->wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8, Uint8(format->nChannels),
                                   int(format->nSamplesPerSec), gSdl->Obtained.format, gSdl->Obtained.channels,
                                   gSdl->Obtained.freq);
    if (!d->Stream) {
      delete d;
      return MMSYSERR_ERROR;
    }
  }
  gDevices[d->Index] = d;
  if (backend == TBackend::Null) d->Pacer = std::thread(PaceLoop, d);
  if (d->CallbackThread) PostThreadMessage(d->CallbackThread, MM_WOM_OPEN, reinterpret_cast<WPARAM>(d), 0);
  *device = d;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  gDevices.erase(d->Index);
  d->Closing = true;
  d->Wake.notify_all();
  lock.unlock();
  if (d->Pacer.joinable()) d->Pacer.join();
  if (d->Capture) std::fclose(d->Capture);
  if (d->Stream) SDL_FreeAudioStream(d->Stream);
  if (d->CallbackThread) PostThreadMessage(d->CallbackThread, MM_WOM_CLOSE, reinterpret_cast<WPARAM>(d), 0);
  delete d;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> lock(gLock);
  if (!Valid(device)) return MMSYSERR_INVALHANDLE;
  if (!header || !header->lpData) return MMSYSERR_INVALPARAM;
  header->dwFlags = WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> lock(gLock);
  if (!Valid(device) || !header) return MMSYSERR_INVALHANDLE;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  if (!header || !(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  d->Queue.push_back(header);
  Kick(d);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->Paused = true;
  d->Wake.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->Paused = false;
  Kick(d);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  while (!d->Queue.empty()) {
    WAVEHDR* h = d->Queue.front();
    d->Queue.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    PostThreadMessage(d->CallbackThread, MM_WOM_DONE, reinterpret_cast<WPARAM>(d), reinterpret_cast<LPARAM>(h));
  }
  if (d->Stream) SDL_AudioStreamClear(d->Stream);
  d->Ends.clear();
  d->Fed = 0;
  d->Played = 0;
  d->Partial = 0;
  d->Wake.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d || !time) return MMSYSERR_INVALHANDLE;
  time->wType = TIME_BYTES;
  time->cb = DWORD(d->Played + d->Partial);
  return MMSYSERR_NOERROR;
}

const char* WaveOutBackendName() {
  switch (Config().Backend) {
    case TBackend::Sdl: return "sdl";
    case TBackend::Capture: return "capture";
    default: return "null";
  }
}

void WaveOutCaptureManual(bool manual) {
  std::lock_guard<std::mutex> lock(gLock);
  gManual = manual;
}

HWAVEOUT WaveOutCaptureDevice(int openIndex) {
  std::lock_guard<std::mutex> lock(gLock);
  auto it = gDevices.find(openIndex);
  return it == gDevices.end() ? nullptr : it->second;
}

bool WaveOutCaptureComplete(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d || d->Queue.empty() || d->Paused) return false;
  CompleteFront(d);
  return true;
}

void WaveOutCapturePartial(HWAVEOUT device, DWORD bytes) {
  std::lock_guard<std::mutex> lock(gLock);
  if (TWaveDevice* d = Valid(device)) d->Partial = bytes;
}

int WaveOutCaptureQueued(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  return d ? int(d->Queue.size()) : -1;
}
