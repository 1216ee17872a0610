// The player object and its playback thread: two device buffers refilled strictly in
// turn as the device reports each one played; stop and seek arrive as thread messages.
#include "sound/Sonara2.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>

#include "platform/VersionBlock.h"
#include "platform/WaveOut.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=2.0.2.3\n"
    "StringFileInfo\\041103A4\\ProductVersion=2.0\n"
    "StringFileInfo\\041103A4\\FileDescription=Sonara2 sound player\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n"
    "StringFileInfo\\041103A4\\InternalName=Sonara2.dll\n")

namespace {

constexpr UINT WM_SONARA_STOP = WM_USER + 1;
constexpr UINT WM_SONARA_SEEK = WM_USER + 2;

// What Play hands to a new playback thread.
struct TStartBlock {
  std::mutex* Lock;
  std::condition_variable* Started;
  bool* StartedFlag;
  ISonaraData2* Data;
  DWORD* ThreadId;
  uint8_t Loop;
  int32_t BufferMilliseconds;
  const std::atomic<int32_t>* Volume;
};

// The state of one playback, all on its own thread.
class TPlayback {
 public:
  explicit TPlayback(const TStartBlock& start)
      : FData(start.Data), FLoop(start.Loop != 0), FBufferMilliseconds(start.BufferMilliseconds), FVolume(*start.Volume) {}

  void Run() {
    SonaraFormat format{};
    if (FData->Open(&format) < 0) return;
    if (!WaveFormatPlayable(format.channels, format.samplesPerSec, format.bitsPerSample)) {
      FData->Close();
      return;
    }
    WAVEFORMATEX wf{};
    wf.wFormatTag = 1;
    wf.nChannels = uint16_t(format.channels);
    wf.nSamplesPerSec = uint32_t(format.samplesPerSec);
    wf.wBitsPerSample = uint16_t(format.bitsPerSample);
    FBits = format.bitsPerSample;
    wf.nBlockAlign = uint16_t((format.bitsPerSample / 8) * format.channels);
    wf.nAvgBytesPerSec = uint32_t((format.bitsPerSample / 8) * format.samplesPerSec * format.channels);
    wf.cbSize = 18;
    FBufferSize = uint32_t(uint64_t(wf.nAvgBytesPerSec) * uint32_t(FBufferMilliseconds) / 1000);
    if (waveOutOpen(&FDevice, WAVE_MAPPER, &wf, GetCurrentThreadId(), 0, CALLBACK_THREAD) != MMSYSERR_NOERROR) {
      FData->Close();
      return;
    }
    for (int i = 0; i < 2; ++i) {
      FBuffers[i] = static_cast<WAVEHDR*>(std::calloc(1, sizeof(WAVEHDR)));
      char* block = FBuffers[i] ? static_cast<char*>(std::malloc(FBufferSize ? FBufferSize : 1)) : nullptr;
      bool ok = block != nullptr;
      if (ok) {
        FBuffers[i]->lpData = block;
        FBuffers[i]->dwBufferLength = FBufferSize;
        ok = waveOutPrepareHeader(FDevice, FBuffers[i], sizeof(WAVEHDR)) == MMSYSERR_NOERROR;
      }
      if (!ok) {
        std::free(block);
        std::free(FBuffers[i]);
        FBuffers[i] = nullptr;
        ReleaseBuffers(i);
        waveOutClose(FDevice);
        FData->Close();
        return;
      }
    }
    // Two empty buffers start the cycle: their completion notices ask for the first data.
    waveOutPause(FDevice);
    for (WAVEHDR* b : FBuffers) {
      b->dwBufferLength = 0;
      waveOutWrite(FDevice, b, sizeof(WAVEHDR));
    }
    waveOutRestart(FDevice);

    MSG msg;
    while (!FFinish && GetMessage(&msg) > 0) {
      switch (msg.message) {
        case MM_WOM_DONE: Refill(); break;
        case WM_SONARA_STOP:
          waveOutPause(FDevice);
          WriteBackHeardPosition();
          FFinish = true;
          break;
        case WM_SONARA_SEEK:
          WriteBackHeardPosition();
          FData->Seek(int32_t(msg.wParam), uint32_t(msg.lParam));
          waveOutRestart(FDevice);
          break;
        default: break;
      }
    }
    waveOutPause(FDevice);
    waveOutReset(FDevice);
    ReleaseBuffers(2);
    waveOutClose(FDevice);
    FData->Close();
  }

 private:
  void ReleaseBuffers(int count) {
    for (int i = 0; i < count; ++i) {
      if (!FBuffers[i]) continue;
      waveOutUnprepareHeader(FDevice, FBuffers[i], sizeof(WAVEHDR));
      std::free(FBuffers[i]->lpData);
      std::free(FBuffers[i]);
      FBuffers[i] = nullptr;
    }
  }

  // The buffer just played is always the next one in turn.
  void Refill() {
    WAVEHDR* b = FBuffers[FNext];
    if (FEnded && b->dwUser == 1) {
      FFinish = true;
      return;
    }
    uint32_t size = FBufferSize;
    const int32_t r = FData->Read(reinterpret_cast<uint8_t*>(b->lpData), &size);
    if (r == 2) {
      if (FLoop) {
        FData->Seek(0, SONARA_SEEK_SET | SONARA_SEEK_EXACT);
        uint32_t more = FBufferSize - size;
        FData->Read(reinterpret_cast<uint8_t*>(b->lpData) + size, &more);
        size += more;
      }
      // A source that gives nothing from its start has no samples: it ends even when
      // looped, rather than spinning through empty laps.
      if (!FLoop || size == 0) {
        FEnded = true;
        b->dwUser = 1;
      }
    } else if (r != 0) {
      FFinish = true;
      return;
    }
    b->dwBufferLength = size;
    ApplyVolume(reinterpret_cast<uint8_t*>(b->lpData), size);
    waveOutWrite(FDevice, b, sizeof(WAVEHDR));
    FWritten += size;
    FNext = (FNext + 1) % 2;
  }

  // Below 100, the samples scaled toward silence; at 100 they stay as they are.
  void ApplyVolume(uint8_t* p, uint32_t size) const {
    const int32_t v = FVolume.load();
    if (v >= 100) return;
    if (FBits == 16) {
      for (uint32_t i = 0; i + 1 < size; i += 2) {
        const int32_t s = int16_t(uint16_t(p[i] | (p[i + 1] << 8))) * v / 100;
        p[i] = uint8_t(s & 0xFF);
        p[i + 1] = uint8_t((s >> 8) & 0xFF);
      }
    } else {
      for (uint32_t i = 0; i < size; ++i) p[i] = uint8_t((int32_t(p[i]) - 128) * v / 100 + 128);
    }
  }

  // The source goes back to the sound being heard, behind what was read ahead.
  void WriteBackHeardPosition() {
    MMTIME t{TIME_BYTES, 0};
    waveOutGetPosition(FDevice, &t, sizeof t);
    const int32_t p = FData->GetPosition() - int32_t(FWritten - t.cb);
    FData->Seek(p, SONARA_SEEK_SET);
  }

  ISonaraData2* FData;
  bool FLoop;
  int32_t FBufferMilliseconds;
  const std::atomic<int32_t>& FVolume;
  int32_t FBits = 16;
  HWAVEOUT FDevice = nullptr;
  uint32_t FBufferSize = 0;
  WAVEHDR* FBuffers[2] = {nullptr, nullptr};
  int FNext = 0;
  uint32_t FWritten = 0;
  bool FEnded = false;
  bool FFinish = false;
};

class CSonara2 final : public ISonara2, public ISonara2Volume {
 public:
  int32_t QueryInterface(const SonaraIID* iid, void** out) override {
    if (!out) return SONARA_E_NOINTERFACE;
    if (SonaraSameIID(iid, IID_IUnknown) || SonaraSameIID(iid, IID_ISonara2)) {
      *out = static_cast<ISonara2*>(this);
      AddRef();
      return 0;
    }
    if (SonaraSameIID(iid, IID_ISonara2Volume)) {
      *out = static_cast<ISonara2Volume*>(this);
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
      DetachData();
      if (FThread.joinable()) FThread.join();
      delete this;
      return 0;
    }
    return n;
  }
  int32_t SetData(ISonaraData2* data) override {
    if (FData) DetachData();
    FData = data;
    if (FData) FData->AddRef();
    return 0;
  }
  int32_t DetachData() override {
    if (!FData) return 0;
    if (IsPlaying()) Stop(0);
    // Also a thread that has just finished may still be on its last steps.
    if (FThread.joinable()) FThread.join();
    FData->Release();
    FData = nullptr;
    return 0;
  }
  int32_t Play(const SonaraPlayOptions* options) override {
    if (IsPlaying()) return -8;
    if (!FData) return -9;
    if (FThread.joinable()) FThread.join();  // the previous playback has ended
    std::mutex lock;
    std::condition_variable started;
    bool startedFlag = false;
    DWORD threadId = 0;
    const TStartBlock start{&lock, &started, &startedFlag, FData, &threadId,
                            uint8_t(options && options->loop ? 1 : 0), FBufferMilliseconds, &FVolume};
    FRunning = true;
    try {
      FThread = std::thread([this, start] { PlaybackThread(start); });
    } catch (...) {
      FRunning = false;
      return -1;  // no thread could be started
    }
    std::unique_lock<std::mutex> guard(lock);
    started.wait(guard, [&] { return startedFlag; });
    FThreadId = threadId;
    return 0;
  }
  int32_t SetVolume(int32_t percent) override {
    if (percent < 0 || percent > 100) return -1;
    FVolume = percent;
    return 0;
  }
  int32_t GetVolume() override { return FVolume.load(); }
  int32_t Stop(int32_t keepPosition) override {
    if (!FData) return -9;
    if (IsPlaying()) PostThreadMessage(FThreadId, WM_SONARA_STOP, 0, 0);
    if (!keepPosition) {
      // The rewind must follow the thread's own write-back of the heard position: a
      // running thread does it as it ends; otherwise it is done here.
      FRewindPending = true;
      if (!FRunning) RewindIfPending(FData);
    }
    return 0;
  }
  int32_t Seek(int32_t position, uint32_t flags) override {
    if (!FData) return -9;
    if (IsPlaying()) PostThreadMessage(FThreadId, WM_SONARA_SEEK, WPARAM(uint32_t(position)), LPARAM(flags));
    else FData->Seek(position, flags);
    return 0;
  }
  int32_t IsPlaying() override { return FData && FRunning ? 1 : 0; }

  int32_t FBufferMilliseconds = 500;

 private:
  void PlaybackThread(TStartBlock start) {
    // The queue exists before the start is signalled, so no message can be lost.
    MSG probe;
    PeekMessage(&probe, PM_NOREMOVE);
    {
      // Signalled under the lock: Play's stack, which holds the lock and the signal, stays
      // until this block has let go of both.
      std::lock_guard<std::mutex> guard(*start.Lock);
      *start.ThreadId = GetCurrentThreadId();
      *start.StartedFlag = true;
      start.Started->notify_one();
    }
    TPlayback(start).Run();
    FRunning = false;
    RewindIfPending(start.Data);
  }

  void RewindIfPending(ISonaraData2* data) {
    if (FRewindPending.exchange(false)) data->Seek(0, SONARA_SEEK_SET);
  }

  std::atomic<int32_t> FRefCount{0};
  std::thread FThread;
  DWORD FThreadId = 0;
  ISonaraData2* FData = nullptr;
  std::atomic<bool> FRunning{false};
  std::atomic<int32_t> FVolume{100};  // read by the playback thread at each buffer
  std::atomic<bool> FRewindPending{false};
};

}  // namespace

int32_t Sonara2Create(ISonara2** player, const SonaraCreateOptions* options) {
  if (!player) return -1;
  *player = nullptr;
  auto* object = new (std::nothrow) CSonara2();
  if (!object) return -6;
  void* out = nullptr;
  if (object->QueryInterface(&IID_ISonara2, &out) != 0) {
    delete object;
    return -1;
  }
  *player = static_cast<ISonara2*>(out);
  object->FBufferMilliseconds = options && options->bufferMilliseconds ? options->bufferMilliseconds : 500;
  return 0;
}
