#include "Classes.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <deque>

namespace {

const std::thread::id gMainThread = std::this_thread::get_id();  // the thread that loads the program

struct TPendingCall {
  const std::function<void()>* Call;
  std::exception_ptr Error;
  bool Done = false;
};

std::mutex gSyncLock;
std::condition_variable gSyncDone;
std::condition_variable gSyncPosted;
std::deque<TPendingCall*> gPending;
std::function<void()> gWake;

}  // namespace

TThread::TThread() = default;

TThread::~TThread() {
  if (FStarted) {
    Terminate();
    WaitFor();
  }
  if (FThread.joinable()) FThread.join();
}

void LowerThisThreadPriority() {
  // The thread's id names it alone to setpriority.
  const id_t self = id_t(::gettid());
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, self);
  if (errno == 0) ::setpriority(PRIO_PROCESS, self, nice + 1);
}

bool TThread::IsMainThread() { return std::this_thread::get_id() == gMainThread; }

void TThread::Start() {
  std::lock_guard<std::mutex> lock(FLock);
  if (FStarted) return;
  FStarted = true;
  FThread = std::thread([this] { Run(); });
}

void TThread::Run() {
  if (Priority == TPriority::Lower) LowerThisThreadPriority();
  try {
    Execute();
  } catch (...) {
    FatalException = std::current_exception();
  }
  if (OnTerminate) {
    try {
      Synchronize([this] { OnTerminate(*this); });
    } catch (...) {
    }
  }
  std::lock_guard<std::mutex> lock(FLock);
  FFinished = true;
  FDone.notify_all();
  gSyncPosted.notify_all();  // a main thread in WaitFor looks again
}

bool TThread::Finished() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FFinished;
}

void TThread::WaitFor() {
  if (!FStarted) return;
  if (IsMainThread()) {
    // Keep serving the worker's synchronous calls while waiting for it.
    for (;;) {
      while (CheckSynchronize()) {
      }
      {
        std::unique_lock<std::mutex> lock(FLock);
        if (FFinished) break;
      }
      std::unique_lock<std::mutex> lock(gSyncLock);
      gSyncPosted.wait_for(lock, std::chrono::milliseconds(5), [] { return !gPending.empty(); });
    }
  } else {
    std::unique_lock<std::mutex> lock(FLock);
    FDone.wait(lock, [this] { return FFinished; });
  }
  if (FThread.joinable()) FThread.join();
}

void TThread::Synchronize(const std::function<void()>& call) {
  if (IsMainThread()) {
    call();
    return;
  }
  TPendingCall pending{&call, nullptr, false};
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(gSyncLock);
    gPending.push_back(&pending);
    wake = gWake;
  }
  gSyncPosted.notify_all();
  if (wake) wake();
  std::unique_lock<std::mutex> lock(gSyncLock);
  gSyncDone.wait(lock, [&] { return pending.Done; });
  if (pending.Error) std::rethrow_exception(pending.Error);
}

bool TThread::CheckSynchronize() {
  TPendingCall* pending;
  {
    std::lock_guard<std::mutex> lock(gSyncLock);
    if (gPending.empty()) return false;
    pending = gPending.front();
    gPending.pop_front();
  }
  try {
    (*pending->Call)();
  } catch (...) {
    pending->Error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(gSyncLock);
    pending->Done = true;
  }
  gSyncDone.notify_all();
  return true;
}

void TThread::SetWakeMainThread(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(gSyncLock);
  gWake = std::move(wake);
}
