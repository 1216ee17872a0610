#include "WaveOut.h"

#include <SDL2/SDL.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
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
#include <type_traits>
#include <vector>

namespace {

enum class TBackend { Sdl, Null, Capture };

std::mutex gLock;  // guards the device list and every device's state
std::map<int, TWaveDevice*> gDevices;
int gOpenCount = 0;
bool gManual = false;

// Buffer notices gathered while gLock is held and posted once it is released, so that a
// callback thread is never woken into a lock the poster still holds. Fixed room: the SDL
// callback allocates nothing; a caller with more to complete posts and goes on.
class TPosts {
 public:
  static constexpr int kRoom = 64;
  bool Full() const { return FCount == kRoom; }
  void Add(DWORD thread, UINT message, HWAVEOUT device, WAVEHDR* header) {
    FPosts[FCount++] = TPost{thread, message, device, header};
  }
  void Send() {
    for (int i = 0; i < FCount; ++i)
      PostThreadMessage(FPosts[i].Thread, FPosts[i].Message, reinterpret_cast<WPARAM>(FPosts[i].Device),
                        reinterpret_cast<LPARAM>(FPosts[i].Header));
    FCount = 0;
  }

 private:
  struct TPost {
    DWORD Thread;
    UINT Message;
    HWAVEOUT Device;
    WAVEHDR* Header;
  };
  TPost FPosts[kRoom];
  int FCount = 0;
};

// Posts what was gathered with the lock let go for the moment.
void SendUnlocked(std::unique_lock<std::mutex>& lock, TPosts& posts) {
  lock.unlock();
  posts.Send();
  lock.lock();
}

// One back end: what opening, closing, starting and resetting a device mean for it.
struct TBackendOps {
  const char* Name;
  bool (*Open)(TWaveDevice* d);                             // gLock held
  void (*Close)(TWaveDevice* d);                            // gLock free; the device has left the list
  void (*Kick)(TWaveDevice* d, std::unique_lock<std::mutex>& lock);  // gLock held: buffers may play
  void (*Reset)(TWaveDevice* d);                            // gLock held; the queue is empty
};

// ---------------------------------------------------------------- SDL output

// SDL is loaded when the first device opens, not with the program: a story that plays no
// sound, and every start-up, is spared SDL and the sound stack it brings. The functions
// used, by name; a missing library or function means no SDL output.
struct TSdlApi {
  decltype(&::SDL_SetHint) SetHint;
  decltype(&::SDL_InitSubSystem) InitSubSystem;
  decltype(&::SDL_GetCurrentAudioDriver) GetCurrentAudioDriver;
  decltype(&::SDL_OpenAudioDevice) OpenAudioDevice;
  decltype(&::SDL_PauseAudioDevice) PauseAudioDevice;
  decltype(&::SDL_NewAudioStream) NewAudioStream;
  decltype(&::SDL_FreeAudioStream) FreeAudioStream;
  decltype(&::SDL_AudioStreamClear) AudioStreamClear;
  decltype(&::SDL_AudioStreamPut) AudioStreamPut;
  decltype(&::SDL_AudioStreamGet) AudioStreamGet;
  decltype(&::SDL_AudioStreamAvailable) AudioStreamAvailable;
};
TSdlApi gSdlApi{};

bool LoadSdl() {
  void* library = ::dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  if (!library) return false;
  bool all = true;
  auto get = [&](auto& function, const char* name) {
    function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
    all = all && function;
  };
  get(gSdlApi.SetHint, "SDL_SetHint");
  get(gSdlApi.InitSubSystem, "SDL_InitSubSystem");
  get(gSdlApi.GetCurrentAudioDriver, "SDL_GetCurrentAudioDriver");
  get(gSdlApi.OpenAudioDevice, "SDL_OpenAudioDevice");
  get(gSdlApi.PauseAudioDevice, "SDL_PauseAudioDevice");
  get(gSdlApi.NewAudioStream, "SDL_NewAudioStream");
  get(gSdlApi.FreeAudioStream, "SDL_FreeAudioStream");
  get(gSdlApi.AudioStreamClear, "SDL_AudioStreamClear");
  get(gSdlApi.AudioStreamPut, "SDL_AudioStreamPut");
  get(gSdlApi.AudioStreamGet, "SDL_AudioStreamGet");
  get(gSdlApi.AudioStreamAvailable, "SDL_AudioStreamAvailable");
  return all;  // the library stays loaded: SDL's threads run its code until the process ends
}

struct TSdlOutput {
  SDL_AudioDeviceID Device = 0;
  SDL_AudioSpec Obtained{};
  uint32_t BytesPerSecond = 0;
  std::vector<uint8_t> Scratch;  // one device's share of a callback, made once
};
TSdlOutput* gSdl = nullptr;
void MixCallback(void*, Uint8* out, int len);

void SilentAlsa(const char*, int, const char*, int, const char*, ...) {}

// ALSA reports a missing card on the process's stderr: give its library a handler that
// says nothing, before SDL loads the same library.
void QuietAlsa() {
  using THandler = void (*)(const char*, int, const char*, int, const char*, ...);
  static void* const library = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_GLOBAL);
  if (!library) return;
  if (auto set = reinterpret_cast<int (*)(THandler)>(::dlsym(library, "snd_lib_error_set_handler"))) set(SilentAlsa);
}

// Opens the one SDL output; false when there is none. Never called with gLock held: SDL
// holds its own lock while the mix takes gLock.
std::mutex gSdlLock;
bool OpenSdl() {
  std::lock_guard<std::mutex> lock(gSdlLock);
  if (gSdl) return true;
  static const bool loaded = LoadSdl();
  if (!loaded) return false;
  QuietAlsa();
  // SIGINT and SIGTERM stay the program's own: SDL would turn them into quit events.
  gSdlApi.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  bool ok = gSdlApi.InitSubSystem(SDL_INIT_AUDIO) == 0;
  // SDL's dummy driver is no output; its disk driver is, for tests.
  const char* driver = ok ? gSdlApi.GetCurrentAudioDriver() : nullptr;
  ok = ok && driver && std::strcmp(driver, "dummy") != 0;
  auto* out = new TSdlOutput;
  if (ok) {
    SDL_AudioSpec want{};
    want.freq = 44100;
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = MixCallback;
    out->Device = gSdlApi.OpenAudioDevice(nullptr, 0, &want, &out->Obtained, 0);
    ok = out->Device != 0;
  }
  if (!ok) {
    delete out;
    return false;
  }
  const SDL_AudioSpec& o = out->Obtained;
  out->BytesPerSecond = uint32_t(o.freq) * o.channels * (SDL_AUDIO_BITSIZE(o.format) / 8);
  out->Scratch.resize(o.size ? o.size : 4096);
  gSdl = out;
  gSdlApi.PauseAudioDevice(out->Device, 0);
  return true;
}

struct TConfig {
  std::atomic<TBackend> Backend{TBackend::Sdl};
  std::string CaptureDir;
};

TConfig& Config() {
  static TConfig config;
  static std::once_flag once;
  std::call_once(once, [] {
    const char* v = std::getenv("SORVANE_AUDIO");
    const std::string s = v ? v : "sdl";
    if (s == "null") config.Backend = TBackend::Null;
    else if (s.rfind("capture:", 0) == 0) config.Backend = TBackend::Capture, config.CaptureDir = s.substr(8);
  });
  return config;
}

}  // namespace

struct TWaveDevice {
  int Index = 0;
  WAVEFORMATEX Format{};
  DWORD CallbackThread = 0;
  const TBackendOps* Ops = nullptr;
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
  uint64_t Fed = 0;           // source bytes given to the stream in all
  std::deque<uint64_t> Ends;  // where each fed buffer ends, in source bytes
};

namespace {

// Completes the front buffer (gLock held): counted as played, captured, its notice gathered.
void CompleteFront(TWaveDevice* d, TPosts& posts) {
  WAVEHDR* h = d->Queue.front();
  d->Queue.pop_front();
  if (d->Capture && h->dwBufferLength) {
    std::fwrite(h->lpData, 1, h->dwBufferLength, d->Capture);
    std::fflush(d->Capture);
  }
  d->Played += h->dwBufferLength;
  d->Partial = 0;
  h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  posts.Add(d->CallbackThread, MM_WOM_DONE, d, h);
}

// ---- null: each buffer takes its playing time, on a pacing thread of its own.
void PaceLoop(TWaveDevice* d) {
  std::unique_lock<std::mutex> lock(gLock);
  TPosts posts;
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
    CompleteFront(d, posts);
    SendUnlocked(lock, posts);
  }
}
bool NullOpen(TWaveDevice* d) {
  d->Pacer = std::thread(PaceLoop, d);
  return true;
}
void NullClose(TWaveDevice* d) {
  if (d->Pacer.joinable()) d->Pacer.join();
}
void NullKick(TWaveDevice* d, std::unique_lock<std::mutex>&) { d->Wake.notify_all(); }
void NullReset(TWaveDevice* d) { d->Wake.notify_all(); }

// ---- capture: played bytes go to a file; buffers complete at once unless driven by hand.
bool CaptureOpen(TWaveDevice* d) {
  const std::string path = Config().CaptureDir + "/wave-" + std::to_string(d->Index) + ".pcm";
  d->Capture = std::fopen(path.c_str(), "wbe");
  return d->Capture != nullptr;
}
void CaptureClose(TWaveDevice* d) {
  if (d->Capture) std::fclose(d->Capture);
}
void CaptureKick(TWaveDevice* d, std::unique_lock<std::mutex>& lock) {
  if (gManual) return;
  TPosts posts;
  while (!d->Queue.empty() && !d->Paused && !d->Closing) {
    CompleteFront(d, posts);
    if (posts.Full()) SendUnlocked(lock, posts);
  }
  SendUnlocked(lock, posts);
}
void CaptureReset(TWaveDevice*) {}

// ---- sdl: every device converted by its own stream and mixed into the one output.
bool SdlOpen(TWaveDevice* d) {
  const WAVEFORMATEX& f = d->Format;
  d->Stream = gSdlApi.NewAudioStream(f.wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8, Uint8(f.nChannels),
                                 int(f.nSamplesPerSec), gSdl->Obtained.format, gSdl->Obtained.channels,
                                 gSdl->Obtained.freq);
  return d->Stream != nullptr;
}
void SdlClose(TWaveDevice* d) {
  if (d->Stream) gSdlApi.FreeAudioStream(d->Stream);
}
void SdlKick(TWaveDevice*, std::unique_lock<std::mutex>&) {}
void SdlReset(TWaveDevice* d) {
  if (d->Stream) gSdlApi.AudioStreamClear(d->Stream);
  d->Ends.clear();
  d->Fed = 0;
}

const TBackendOps kSdlOps{"sdl", SdlOpen, SdlClose, SdlKick, SdlReset};
const TBackendOps kNullOps{"null", NullOpen, NullClose, NullKick, NullReset};
const TBackendOps kCaptureOps{"capture", CaptureOpen, CaptureClose, CaptureKick, CaptureReset};

const TBackendOps& OpsOf(TBackend b) {
  switch (b) {
    case TBackend::Sdl: return kSdlOps;
    case TBackend::Capture: return kCaptureOps;
    default: return kNullOps;
  }
}

// Adds one device's converted sound to the mix (gLock held); false when the notices it
// has to give no longer fit this callback (the rest are given by the next).
bool MixDevice(TWaveDevice* d, int16_t* mix, int len, TPosts& posts) {
  // Feed the buffers not yet fed, whole, until the stream holds enough for this callback.
  for (size_t i = d->Ends.size(); i < d->Queue.size() && gSdlApi.AudioStreamAvailable(d->Stream) < len; ++i) {
    WAVEHDR* h = d->Queue[i];
    gSdlApi.AudioStreamPut(d->Stream, h->lpData, int(h->dwBufferLength));
    d->Fed += h->dwBufferLength;
    d->Ends.push_back(d->Fed);
  }
  std::vector<uint8_t>& scratch = gSdl->Scratch;
  for (int done = 0; done < len;) {
    const int got = gSdlApi.AudioStreamGet(d->Stream, scratch.data(), std::min(len - done, int(scratch.size())));
    if (got <= 0) break;
    const auto* chunk = reinterpret_cast<const int16_t*>(scratch.data());
    int16_t* to = mix + done / 2;
    for (int k = 0; k < got / 2; ++k) to[k] = int16_t(std::clamp(int(to[k]) + int(chunk[k]), -32768, 32767));
    done += got;
  }
  // Buffers whose bytes have all left the stream have been played; what the stream still
  // holds is counted back in the device's own bytes.
  const uint64_t held = uint64_t(gSdlApi.AudioStreamAvailable(d->Stream)) * d->Format.nAvgBytesPerSec / gSdl->BytesPerSecond;
  const uint64_t consumed = d->Fed > held ? d->Fed - held : 0;
  while (!d->Ends.empty() && d->Ends.front() <= consumed && !d->Queue.empty()) {
    if (posts.Full()) return false;
    d->Ends.pop_front();
    CompleteFront(d, posts);
  }
  return true;
}

void MixCallback(void*, Uint8* out, int len) {
  std::memset(out, 0, size_t(len));
  TPosts posts;
  {
    std::lock_guard<std::mutex> lock(gLock);
    for (auto& [index, d] : gDevices) {
      if (d->Ops != &kSdlOps || !d->Stream || d->Paused) continue;
      if (!MixDevice(d, reinterpret_cast<int16_t*>(out), len, posts)) break;
    }
  }
  posts.Send();
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
  if (Config().Backend == TBackend::Sdl && !OpenSdl()) Config().Backend = TBackend::Null;
  std::unique_lock<std::mutex> lock(gLock);
  d->Ops = &OpsOf(Config().Backend);
  d->Index = gOpenCount++;
  if (!d->Ops->Open(d)) {
    lock.unlock();
    d->Ops->Close(d);
    delete d;
    return MMSYSERR_ERROR;
  }
  gDevices[d->Index] = d;
  lock.unlock();
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
  d->Ops->Close(d);
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
  std::unique_lock<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  if (!header || !(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  d->Queue.push_back(header);
  if (!d->Paused) d->Ops->Kick(d, lock);
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
  std::unique_lock<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->Paused = false;
  d->Ops->Kick(d, lock);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  TPosts posts;
  while (!d->Queue.empty()) {
    WAVEHDR* h = d->Queue.front();
    d->Queue.pop_front();
    h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
    posts.Add(d->CallbackThread, MM_WOM_DONE, d, h);
    if (posts.Full()) SendUnlocked(lock, posts);
  }
  d->Ops->Reset(d);
  d->Played = 0;
  d->Partial = 0;
  SendUnlocked(lock, posts);
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

const char* WaveOutBackendName() { return OpsOf(Config().Backend).Name; }

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
  std::unique_lock<std::mutex> lock(gLock);
  TWaveDevice* d = Valid(device);
  if (!d || d->Queue.empty() || d->Paused) return false;
  TPosts posts;
  CompleteFront(d, posts);
  lock.unlock();
  posts.Send();
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
