#include "player/EventQueue.h"

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
  for (;;) {
    queue.Pop(e);
    if (e.EventType == 0) break;
    text += "Type " + std::to_string(e.EventType) + ", Data " + std::to_string(e.EventData) + "\r\n";
  }
  return text + "\r\n4";
}

std::vector<TInputEvent> TEventQueue::Pending() const {
  std::vector<TInputEvent> events;
  for (const TNode* n = FHead; n; n = n->Next) events.push_back(n->Event);
  return events;
}
