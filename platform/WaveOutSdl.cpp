// Wave output through SDL: every device converted by an SDL audio stream of its own and
// mixed into the process's one SDL output.
#include <SDL2/SDL.h>
#include <dlfcn.h>

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

#include "WaveOutBackend.h"
#include "platform/SdlLibrary.h"

namespace {

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
  TSdlResolver get;
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
  return get.All();
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

std::mutex gSdlLock;

// Never called with the wave lock held: SDL holds its own lock while the mix takes it.
bool OpenSdlOutput() {
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

}  // namespace

namespace {

// A device's stream and where each buffer fed to it ends.
struct TSdlDevice {
  SDL_AudioStream* Stream = nullptr;
  uint64_t Fed = 0;           // source bytes given to the stream in all
  std::deque<uint64_t> Ends;  // where each fed buffer ends, in source bytes
};
TSdlDevice& Of(TWaveDevice* d) { return *static_cast<TSdlDevice*>(d->Hidden); }

bool SdlOpen(TWaveDevice* d) {
  const WAVEFORMATEX& f = d->Format;
  auto* s = new TSdlDevice;
  d->Hidden = s;
  s->Stream = gSdlApi.NewAudioStream(f.wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8, Uint8(f.nChannels),
                                     int(f.nSamplesPerSec), gSdl->Obtained.format, gSdl->Obtained.channels,
                                     gSdl->Obtained.freq);
  return s->Stream != nullptr;
}
void SdlClose(TWaveDevice* d) {
  auto* s = static_cast<TSdlDevice*>(d->Hidden);
  if (!s) return;
  if (s->Stream) gSdlApi.FreeAudioStream(s->Stream);
  delete s;
  d->Hidden = nullptr;
}
void SdlKick(TWaveDevice*, std::unique_lock<std::mutex>&) {}
void SdlReset(TWaveDevice* d) {
  TSdlDevice& s = Of(d);
  if (s.Stream) gSdlApi.AudioStreamClear(s.Stream);
  s.Ends.clear();
  s.Fed = 0;
}

const TWaveBackendOps kSdlOps{"sdl", SdlOpen, SdlClose, SdlKick, SdlReset, nullptr};

// Adds one device's converted sound to the mix (wave lock held); false when the notices it
// has to give no longer fit this callback (the rest are given by the next).
bool MixDevice(TWaveDevice* d, int16_t* mix, int len, TPosts& posts) {
  TSdlDevice& s = Of(d);
  // Feed the buffers not yet fed, whole, until the stream holds enough for this callback.
  for (size_t i = s.Ends.size(); i < d->Queue.size() && gSdlApi.AudioStreamAvailable(s.Stream) < len; ++i) {
    WAVEHDR* h = d->Queue[i];
    gSdlApi.AudioStreamPut(s.Stream, h->lpData, int(h->dwBufferLength));
    s.Fed += h->dwBufferLength;
    s.Ends.push_back(s.Fed);
  }
  std::vector<uint8_t>& scratch = gSdl->Scratch;
  for (int done = 0; done < len;) {
    const int got = gSdlApi.AudioStreamGet(s.Stream, scratch.data(), std::min(len - done, int(scratch.size())));
    if (got <= 0) break;
    const auto* chunk = reinterpret_cast<const int16_t*>(scratch.data());
    int16_t* to = mix + done / 2;
    for (int k = 0; k < got / 2; ++k) to[k] = int16_t(std::clamp(int(to[k]) + int(chunk[k]), -32768, 32767));
    done += got;
  }
  // Buffers whose bytes have all left the stream have been played; what the stream still
  // holds is counted back in the device's own bytes.
  const uint64_t held = uint64_t(gSdlApi.AudioStreamAvailable(s.Stream)) * d->Format.nAvgBytesPerSec / gSdl->BytesPerSecond;
  const uint64_t consumed = s.Fed > held ? s.Fed - held : 0;
  while (!s.Ends.empty() && s.Ends.front() <= consumed && !d->Queue.empty()) {
    if (posts.Full()) return false;
    s.Ends.pop_front();
    CompleteFront(d, posts);
  }
  return true;
}

void MixCallback(void*, Uint8* out, int len) {
  std::memset(out, 0, size_t(len));
  TPosts posts;
  {
    std::lock_guard<std::mutex> lock(WaveLock());
    for (auto& [index, d] : WaveDevices()) {
      if (d->Ops != &kSdlOps || !d->Hidden || !Of(d).Stream || d->Paused) continue;
      if (!MixDevice(d, reinterpret_cast<int16_t*>(out), len, posts)) break;
    }
  }
  posts.Send();
}

}  // namespace

const TWaveBootstrap kSdlBootstrap{"sdl", false, [](const std::string&) -> const TWaveBackendOps& { return kSdlOps; },
                                   OpenSdlOutput};
