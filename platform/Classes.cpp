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

// The handshake between workers and the main thread. It is never destroyed: a program
// that ends through exit() while a worker waits in Synchronize (Qt does when its display
// goes) would otherwise wait forever in the destructor of a condition variable the worker
// waits on.
struct TSyncState {
  std::mutex Lock;
  std::condition_variable Done;
  std::condition_variable Posted;
  std::deque<TPendingCall*> Pending;
  std::function<void()> Wake;
};
TSyncState& Sync() {
  static TSyncState* const state = new TSyncState;
  return *state;
}

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
  Sync().Posted.notify_all();  // a main thread in WaitFor looks again
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
      std::unique_lock<std::mutex> lock(Sync().Lock);
      Sync().Posted.wait_for(lock, std::chrono::milliseconds(5), [] { return !Sync().Pending.empty(); });
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
    std::lock_guard<std::mutex> lock(Sync().Lock);
    Sync().Pending.push_back(&pending);
    wake = Sync().Wake;
  }
  Sync().Posted.notify_all();
  if (wake) wake();
  std::unique_lock<std::mutex> lock(Sync().Lock);
  Sync().Done.wait(lock, [&] { return pending.Done; });
  if (pending.Error) std::rethrow_exception(pending.Error);
}

bool TThread::CheckSynchronize() {
  TPendingCall* pending;
  {
    std::lock_guard<std::mutex> lock(Sync().Lock);
    if (Sync().Pending.empty()) return false;
    pending = Sync().Pending.front();
    Sync().Pending.pop_front();
  }
  try {
    (*pending->Call)();
  } catch (...) {
    pending->Error = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(Sync().Lock);
    pending->Done = true;
  }
  Sync().Done.notify_all();
  return true;
}

void TThread::SetWakeMainThread(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(Sync().Lock);
  Sync().Wake = std::move(wake);
}
