// Threads in the Windows-program manner: a worker whose Execute runs on its own thread
// and hands work to the main thread with Synchronize, which blocks until the main thread
// has run it in CheckSynchronize. WaitFor on the main thread keeps serving those calls,
// so a worker waiting in Synchronize can always finish.
// Threads: Start, Terminate, WaitFor and the destructor belong to the owning (main)
// thread; Synchronize and Terminated to the worker; CheckSynchronize to the main thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

#include "PlatformApi.h"

class SVP_API TThread {
 public:
  // The thread does not run until Start.
  TThread();
  // Asks the worker to terminate and waits for it (serving its synchronous calls). By then
  // a derived class's members are gone: a class whose Execute uses its own members stops
  // the worker first, with Stop() in its own destructor.
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Start();
  // How the worker is scheduled against the process's other threads; set before Start.
  // Lower is one nice step below the process's own.
  enum class TPriority { Normal, Lower };
  TPriority Priority = TPriority::Normal;
  void Terminate() { FTerminated.store(true); }
  bool Terminated() const { return FTerminated.load(); }
  // Terminate and WaitFor: the worker has ended when it returns.
  void Stop() {
    Terminate();
    WaitFor();
  }
  // Waits until Execute has ended and OnTerminate has run.
  void WaitFor();
  bool Finished() const;
  // Runs on the main thread after Execute has ended.
  std::function<void(TThread&)> OnTerminate;
  // What ended Execute, if it ended by an exception.
  std::exception_ptr FatalException;

  // Runs `call` on the main thread and waits for it; an exception it raises comes back
  // here. Called on the main thread itself, it runs at once. Any thread may call it, a
  // worker's own or not: a main thread waiting in WaitFor serves it all the same.
  static void Synchronize(const std::function<void()>& call);

  // Runs the calls the workers are waiting on; true when one ran. Main thread only.
  static bool CheckSynchronize();
  // Called (on a worker) whenever a call is waiting, so the main loop can wake up and
  // run CheckSynchronize.
  static void SetWakeMainThread(std::function<void()> wake);
  static bool IsMainThread();

 protected:
  virtual void Execute() = 0;

 private:
  void Run();

  std::thread FThread;
  std::atomic<bool> FTerminated{false};
  mutable std::mutex FLock;
  std::condition_variable FDone;
  bool FStarted = false;
  bool FFinished = false;
};

// Schedules the calling thread one nice step below the process's own (Linux schedules each
// thread by its own nice value): work that can wait yields to the main thread.
SVP_API void LowerThisThreadPriority();
