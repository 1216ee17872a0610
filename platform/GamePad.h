// Game pads through SDL's game controller API, whose database maps every known pad to one
// layout. SDL is loaded when pads are first opened, so a start-up never waits for it.
// Pads plugged in or out while the program runs join or leave at the next poll.
// Threads: one thread only (the GUI thread).
#pragma once

#include <cstdint>

#include "platform/PlatformApi.h"

enum class TPadButton : uint8_t { A, B, Back, Start, LeftShoulder, RightShoulder, Up, Down, Left, Right };
constexpr int kPadButtonCount = 10;

// A button that went down or came up; the left stick counts as the D-pad.
struct TPadChange {
  TPadButton Button;
  bool Down;
};

class SVP_API TGamePads {
 public:
  static constexpr int kMaxPads = 8;
  // How far the stick must lean to press a direction, and come back to release it.
  static constexpr int32_t kStickPress = 16000, kStickRelease = 8000;

  TGamePads() = default;
  ~TGamePads();
  TGamePads(const TGamePads&) = delete;
  TGamePads& operator=(const TGamePads&) = delete;

  // False when SDL or its game controller support is not there: then there are no pads.
  bool Open();
  // The changes since the last poll, over every pad, at most `capacity`; no allocation.
  int Poll(TPadChange* out, int capacity);
  int PadCount() const;

 private:
  struct TPad {
    void* Controller = nullptr;
    int32_t Instance = -1;
    bool Held[kPadButtonCount] = {};
  };
  void AttachNew();
  void ReadPad(TPad& pad, TPadChange* out, int capacity, int& count);
  bool FOpen = false;
  TPad FPads[kMaxPads];
};
