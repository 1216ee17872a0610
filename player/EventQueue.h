// Input and menu actions on their way from the window to the interpreter's update step:
// a first-in-first-out list of (type, data) events. The runtime holds its run's queue and
// takes input through TSubThread::Input.
// Threads: main thread only (the window pushes, the update step pops).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TInputEvent {
  uint8_t EventType = 0;  // 0: no event
  int32_t EventData = 0;
};

// Event types.
enum : uint8_t {
  evAdvance = 1,          // click, Enter, Space; data 1
  evSetDIBitsToDevice = 4,
  evDebugMessage = 5,
  evShowClipRects = 6,
  evShowBackBuffer = 7,
  evShowScript = 8,
  evShowVariables = 9,
  evSelectNext = 10,      // the keyboard or a pad moves an open choice's highlight on
  evSelectPrevious = 11,  // and back
};

class TEventQueue {
 public:
  TEventQueue() = default;
  ~TEventQueue();
  TEventQueue(const TEventQueue&) = delete;
  TEventQueue& operator=(const TEventQueue&) = delete;

  void Push(const TInputEvent& event);
  // The oldest event; on an empty queue only EventType is set (to 0).
  void Pop(TInputEvent& event);
  void Clear();
  bool Empty() const { return !FHead; }
  // The events not yet taken, oldest first.
  std::vector<TInputEvent> Pending() const;

 private:
  struct TNode {
    TInputEvent Event;
    TNode* Next = nullptr;
  };
  TNode* FHead = nullptr;
  TNode* FTail = nullptr;
};

// Drains the queue into the debug dump the window shows for its Home key: a
// "Type %d, Data %d" line per event, then an empty line and "4".
std::string DumpEventQueue(TEventQueue& queue);
