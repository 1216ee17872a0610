// Wave output without sound: each buffer takes its playing time on a pacing thread of the
// device's own, then completes.
#include <chrono>
#include <thread>

#include "WaveOutBackend.h"

namespace {

struct TNullDevice {
  std::thread Pacer;
};

void PaceLoop(TWaveDevice* d) {
  std::unique_lock<std::mutex> lock(WaveLock());
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
  auto* n = new TNullDevice;
  d->Hidden = n;
  n->Pacer = std::thread(PaceLoop, d);
  return true;
}
void NullClose(TWaveDevice* d) {
  auto* n = static_cast<TNullDevice*>(d->Hidden);
  if (!n) return;
  if (n->Pacer.joinable()) n->Pacer.join();
  delete n;
  d->Hidden = nullptr;
}
void NullKick(TWaveDevice* d, std::unique_lock<std::mutex>&) { d->Wake.notify_all(); }
void NullReset(TWaveDevice* d) { d->Wake.notify_all(); }

const TWaveBackendOps kNullOps{"null", NullOpen, NullClose, NullKick, NullReset, nullptr};

}  // namespace

const TWaveBootstrap kNullBootstrap{"null", false, [](const std::string&) -> const TWaveBackendOps& { return kNullOps; },
                                    nullptr};
