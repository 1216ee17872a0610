#include "WaveOutCapture.h"

#include <cstdio>
#include <string>

#include "WaveOutBackend.h"

namespace {

bool gManual = false;  // guarded by the wave lock
// Where the files go: set once, when the back end is chosen.
std::string& Dir() {
  static std::string dir;
  return dir;
}

struct TCaptureDevice {
  std::FILE* File = nullptr;
};

bool CaptureOpen(TWaveDevice* d) {
  auto* c = new TCaptureDevice;
  d->Hidden = c;
  const std::string path = Dir() + "/wave-" + std::to_string(d->Index) + ".pcm";
  c->File = std::fopen(path.c_str(), "wbe");
  return c->File != nullptr;
}
void CaptureClose(TWaveDevice* d) {
  auto* c = static_cast<TCaptureDevice*>(d->Hidden);
  if (!c) return;
  if (c->File) std::fclose(c->File);
  delete c;
  d->Hidden = nullptr;
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
void CaptureCompleted(TWaveDevice* d, const WAVEHDR* h) {
  auto* c = static_cast<TCaptureDevice*>(d->Hidden);
  if (!c || !c->File || !h->dwBufferLength) return;
  std::fwrite(h->lpData, 1, h->dwBufferLength, c->File);
  std::fflush(c->File);
}

const TWaveBackendOps kCaptureOps{"capture", CaptureOpen, CaptureClose, CaptureKick, CaptureReset, CaptureCompleted};

TWaveDevice* Valid(HWAVEOUT device) {
  for (auto& [i, d] : WaveDevices())
    if (d == device) return d;
  return nullptr;
}

}  // namespace

const TWaveBootstrap kCaptureBootstrap{"capture:", true,
                                       [](const std::string& dir) -> const TWaveBackendOps& {
                                         Dir() = dir;
                                         return kCaptureOps;
                                       },
                                       nullptr};

void WaveOutCaptureManual(bool manual) {
  std::lock_guard<std::mutex> lock(WaveLock());
  gManual = manual;
}

HWAVEOUT WaveOutCaptureDevice(int openIndex) {
  std::lock_guard<std::mutex> lock(WaveLock());
  auto it = WaveDevices().find(openIndex);
  return it == WaveDevices().end() ? nullptr : it->second;
}

bool WaveOutCaptureComplete(HWAVEOUT device) {
  std::unique_lock<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  if (!d || d->Queue.empty() || d->Paused) return false;
  TPosts posts;
  CompleteFront(d, posts);
  lock.unlock();
  posts.Send();
  return true;
}

void WaveOutCapturePartial(HWAVEOUT device, DWORD bytes) {
  std::lock_guard<std::mutex> lock(WaveLock());
  if (TWaveDevice* d = Valid(device)) d->Partial = bytes;
}

int WaveOutCaptureQueued(HWAVEOUT device) {
  std::lock_guard<std::mutex> lock(WaveLock());
  TWaveDevice* d = Valid(device);
  return d ? int(d->Queue.size()) : -1;
}
