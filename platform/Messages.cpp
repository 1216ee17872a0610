#include "Messages.h"

#include <atomic>
#include <condition_variable>
#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

// A ring of messages that grows only when full, so that a steady stream of posts (the
// audio callback's buffer notices) allocates nothing once it has warmed up.
class TRing {
 public:
  bool empty() const { return FCount == 0; }
  const MSG& front() const { return FSlots[FHead]; }
  void pop_front() {
    FHead = (FHead + 1) % FSlots.size();
    --FCount;
  }
  void push_back(const MSG& m) {
    if (FCount == FSlots.size()) Grow();
    FSlots[(FHead + FCount) % FSlots.size()] = m;
    ++FCount;
  }

 private:
  void Grow() {
    std::vector<MSG> bigger(std::max<size_t>(16, FSlots.size() * 2));
    for (size_t i = 0; i < FCount; ++i) bigger[i] = FSlots[(FHead + i) % FSlots.size()];
    FSlots.swap(bigger);
    FHead = 0;
  }
  std::vector<MSG> FSlots;
  size_t FHead = 0;
  size_t FCount = 0;
};

struct TQueue {
  std::mutex Lock;
  std::condition_variable Ready;
  TRing Messages;
};

std::mutex gRegistryLock;
std::map<DWORD, std::shared_ptr<TQueue>> gQueues;
std::atomic<DWORD> gNextId{1};

struct TThreadSlot {
  DWORD Id = gNextId++;
  std::shared_ptr<TQueue> Queue;
  ~TThreadSlot() {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    gQueues.erase(Id);
  }
};

TThreadSlot& Slot() {
  thread_local TThreadSlot slot;
  return slot;
}

TQueue& OwnQueue() {
  TThreadSlot& s = Slot();
  if (!s.Queue) {
    s.Queue = std::make_shared<TQueue>();
    std::lock_guard<std::mutex> lock(gRegistryLock);
    gQueues[s.Id] = s.Queue;
  }
  return *s.Queue;
}

}  // namespace

DWORD GetCurrentThreadId() { return Slot().Id; }

bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<TQueue> q;
  {
    std::lock_guard<std::mutex> lock(gRegistryLock);
    auto it = gQueues.find(threadId);
    if (it == gQueues.end()) return false;
    q = it->second;
  }
  {
    std::lock_guard<std::mutex> lock(q->Lock);
    q->Messages.push_back(MSG{message, wParam, lParam});
  }
  q->Ready.notify_one();
  return true;
}

int GetMessage(MSG* msg) {
  TQueue& q = OwnQueue();
  std::unique_lock<std::mutex> lock(q.Lock);
  q.Ready.wait(lock, [&] { return !q.Messages.empty(); });
  *msg = q.Messages.front();
  q.Messages.pop_front();
  return msg->message == WM_QUIT ? 0 : 1;
}

bool PeekMessage(MSG* msg, UINT removeFlag) {
  TQueue& q = OwnQueue();
  std::lock_guard<std::mutex> lock(q.Lock);
  if (q.Messages.empty()) return false;
  *msg = q.Messages.front();
  if (removeFlag == PM_REMOVE) q.Messages.pop_front();
  return true;
}
