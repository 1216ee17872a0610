#include "WaveOut.h"

#include <atomic>
#include <cstdlib>
#include <string>

#include "WaveOutBackend.h"

namespace {

int gOpenCount = 0;  // guarded by the wave lock

// Walked in order: the first is taken when SORVANE_AUDIO names none, the last (which can
// always play) when the one chosen cannot.
const TWaveBootstrap* const kBootstraps[] = {&kSdlBootstrap, &kCaptureBootstrap, &kNullBootstrap};

struct TChoice {
  const TWaveBootstrap* Bootstrap;
  const TWaveBackendOps* Ops;
};

// The back end SORVANE_AUDIO chose, read once.
TChoice ChosenBackend() {
  const char* v = std::getenv("SORVANE_AUDIO");
  const std::string s = v ? v : "";
  for (const TWaveBootstrap* b : kBootstraps) {
    const size_t n = std::string::traits_type::length(b->Name);
    if (b->TakesArgument ? s.compare(0, n, b->Name) == 0 : s == b->Name) return TChoice{b, &b->Ops(s.substr(n))};
  }
  return TChoice{kBootstraps[0], &kBootstraps[0]->Ops("")};
}
// Chosen at the first use, so that a test may set SORVANE_AUDIO before it.
const TChoice& Chosen() {
  static const TChoice choice = ChosenBackend();
  return choice;
}
std::atomic<const TWaveBackendOps*>& Backend() {
  static std::atomic<const TWaveBackendOps*> backend{Chosen().Ops};
  return backend;
}

TWaveDevice* Valid(HWAVEOUT device) {
  for (auto& [i, d] : WaveDevices())
    if (d == device) return d;
  return nullptr;
}

}  // namespace

std::mutex& WaveLock() {
  static std::mutex lock;
  return lock;
}

std::map<int, TWaveDevice*>& WaveDevices() {
  static std::map<int, TWaveDevice*> devices;
  return devices;
}

void SendUnlocked(std::unique_lock<std::mutex>& lock, TPosts& posts) {
  lock.unlock();
  posts.Send();
  lock.lock();
}

void CompleteFront(TWaveDevice* d, TPosts& posts) {
  WAVEHDR* h = d->Queue.front();
  d->Queue.pop_front();
  if (d->Ops->Completed) d->Ops->Completed(d, h);
  d->Played += h->dwBufferLength;
  d->Partial = 0;
  h->dwFlags = (h->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
  posts.Add(d->CallbackThread, MM_WOM_DONE, d, h);
}

MMRESULT waveOutOpen(HWAVEOUT* device, UINT, const WAVEFORMATEX* format, uintptr_t callback, uintptr_t, DWORD flags) {
  if (!device || !format) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (format->wFormatTag != 1 ||
      !WaveFormatPlayable(format->nChannels, format->nSamplesPerSec, format->wBitsPerSample))
    return WAVERR_BADFORMAT;
  auto* d = new TWaveDevice;
  d->Format = *format;
  d->CallbackThread = (flags & CALLBACK_THREAD) ? DWORD(callback) : 0;
  // A back end that cannot play here gives way to the last, for this open and every later one.
  const TChoice& chosen = Chosen();
  const TWaveBackendOps* ops = chosen.Ops;
  if (Backend().load() == ops && chosen.Bootstrap->Available && !chosen.Bootstrap->Available())
    Backend().compare_exchange_strong(ops, &std::end(kBootstraps)[-1]->Ops(""));
  std::unique_lock<std::mutex> lock(WaveLock());
  d->Ops = Backend().load();
  d->Index = gOpenCount++;
  if (!d->Ops->Open(d)) {
    lock.unlock();
    d->Ops->Close(d);
    delete d;
    return MMSYSERR_ERROR;
  }
  WaveDevices()[d->Index] = d;
  lock.unlock();
  if (d->CallbackThread) PostThreadMessage(d->CallbackThread, MM_WOM_OPEN, reinterpret_cast<WPARAM>(d), 0);
  *device = d;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  WaveDevices().erase(d->Index);
  d->Closing = true;
  d->Wake.notify_all();
  lock.unlock();
  d->Ops->Close(d);
  if (d->CallbackThread) PostThreadMessage(d->CallbackThread, MM_WOM_CLOSE, reinterpret_cast<WPARAM>(d), 0);
  delete d;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> lock(WaveLock());
  if (!Valid(device)) return MMSYSERR_INVALHANDLE;
  if (!header || !header->lpData) return MMSYSERR_INVALPARAM;
  header->dwFlags = WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::lock_guard<std::mutex> lock(WaveLock());
  if (!Valid(device) || !header) return MMSYSERR_INVALHANDLE;
  header->dwFlags &= ~WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT) {
  std::unique_lock<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  if (!header || !(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
  d->Queue.push_back(header);
  if (!d->Paused) d->Ops->Kick(d, lock);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->Paused = true;
  d->Wake.notify_all();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d) return MMSYSERR_INVALHANDLE;
  d->Paused = false;
  d->Ops->Kick(d, lock);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(WaveLock());
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
  std::lock_guard<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d || !time) return MMSYSERR_INVALHANDLE;
  time->wType = TIME_BYTES;
  time->cb = DWORD(d->Played + d->Partial);
  return MMSYSERR_NOERROR;
}

const char* WaveOutBackendName() { return Backend().load()->Name; }
