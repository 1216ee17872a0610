#include "player/EventQueue.h"

TEventQueue* EventQueue = nullptr;

TEventQueue::~TEventQueue() { Clear(); }

void TEventQueue::Push(const TInputEvent& event) {
  auto* node = new TNode{event, nullptr};
  if (FTail) FTail->Next = node;
  else FHead = node;
  FTail = node;
}

void TEventQueue::Pop(TInputEvent& event) {
  if (!FHead) {
    event.EventType = 0;
    return;
  }
  TNode* node = FHead;
  event = node->Event;
  FHead = node->Next;
  if (!FHead) FTail = nullptr;
  delete node;
}

void TEventQueue::Clear() {
  TInputEvent e;
  while (FHead) Pop(e);
}

std::string DumpEventQueue(TEventQueue& queue) {
  std::string text;
  TInputEvent e;
  while (!queue.Empty()) {
    queue.Pop(e);
    if (!text.empty()) text += "\r\n";
    text += "Type " + std::to_string(e.EventType) + ", Data " + std::to_string(e.EventData);
  }
  return text;
}
