// What wave output's back ends share with its core: the one lock over every device, the
// device record's common part, the table of a back end's operations, and the gathering of
// buffer notices. Each back end keeps its own data behind TWaveDevice::Hidden.
// Threads: as the functions say; the record's fields are guarded by WaveLock().
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "WaveOut.h"

struct TWaveBackendOps;

struct TWaveDevice {
  int Index = 0;
  WAVEFORMATEX Format{};
  DWORD CallbackThread = 0;
  const TWaveBackendOps* Ops = nullptr;
  std::deque<WAVEHDR*> Queue;
  bool Paused = false;
  bool Closing = false;
  uint64_t Played = 0;
  DWORD Partial = 0;
  std::condition_variable Wake;  // told of every change a waiting back end must see
  void* Hidden = nullptr;        // the back end's own data, made by Open, freed by Close
};

// One back end: what opening, closing, starting and resetting a device mean for it.
struct TWaveBackendOps {
  const char* Name;
  bool (*Open)(TWaveDevice* d);                                       // lock held
  void (*Close)(TWaveDevice* d);                                      // lock free; the device has left the list
  void (*Kick)(TWaveDevice* d, std::unique_lock<std::mutex>& lock);  // lock held: buffers may play
  void (*Reset)(TWaveDevice* d);                                      // lock held; the queue is empty
  void (*Completed)(TWaveDevice* d, const WAVEHDR* header);           // lock held; may be null
};

// Guards the device list and every device's state.
std::mutex& WaveLock();
// The open devices by open index (lock held).
std::map<int, TWaveDevice*>& WaveDevices();

// Buffer notices gathered while the wave lock is held and posted once it is released, so that a
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
void SendUnlocked(std::unique_lock<std::mutex>& lock, TPosts& posts);


// Completes the front buffer (lock held): counted as played, its notice gathered.
void CompleteFront(TWaveDevice* d, TPosts& posts);

// A back end as the core finds it: its name in SORVANE_AUDIO (one that takes an argument
// is a prefix, the rest of the setting its argument), its operations, and whether it can
// play here (it may open what it needs first; lock free; null: always).
struct TWaveBootstrap {
  const char* Name;
  bool TakesArgument;
  const TWaveBackendOps& (*Ops)(const std::string& argument);
  bool (*Available)();
};
// The back ends: SDL's output; the capture ("capture:DIR", played bytes appended to
// DIR/wave-N.pcm); none, which plays into nothing at the pace of a real device.
extern const TWaveBootstrap kSdlBootstrap, kCaptureBootstrap, kNullBootstrap;
