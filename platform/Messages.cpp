#include "Messages.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace {

struct TQueue {
  std::mutex Lock;
  std::condition_variable Ready;
  std::deque<MSG> Messages;
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
