// The program's own end. ApplicationTerminate asks the program to end at its next chance:
// the window shell quits its loop, the headless tool stops its run; without either the
// process exits normally. Halt ends the process at once.
// Threads: any thread; the terminate handler runs on the caller's thread.
#pragma once

#include <functional>

#include "PlatformApi.h"

SVP_API void ApplicationTerminate();
SVP_API bool ApplicationTerminated();
// Installs what ApplicationTerminate does (an empty handler restores the default exit);
// returns the previous one.
SVP_API std::function<void()> SetApplicationTerminateHandler(std::function<void()> handler);
// A terminate handler for the scope's life: the previous one comes back however it ends.
class TTerminateHandlerScope {
 public:
  explicit TTerminateHandlerScope(std::function<void()> handler)
      : FPrevious(SetApplicationTerminateHandler(std::move(handler))) {}
  ~TTerminateHandlerScope() { SetApplicationTerminateHandler(std::move(FPrevious)); }
  TTerminateHandlerScope(const TTerminateHandlerScope&) = delete;
  TTerminateHandlerScope& operator=(const TTerminateHandlerScope&) = delete;

 private:
  std::function<void()> FPrevious;
};
[[noreturn]] SVP_API void Halt(int exitCode);

// From now on SIGINT and SIGTERM ask the program to end through its normal shutdown
// instead of killing it. Returns a descriptor that becomes readable when one has arrived,
// for an event loop to watch (-1 when none could be made; the signal is still noted).
SVP_API int CatchTerminationSignals();
// From now on a write to a pipe or socket whose reader has gone fails with EPIPE instead of
// ending the program (a speech service that quits must not take the player with it).
SVP_API void IgnoreBrokenPipes();
// The signal that asked the program to end, or 0. Any thread.
SVP_API int TerminationSignal();
