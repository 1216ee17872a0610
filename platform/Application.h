// The program's own end. ApplicationTerminate asks the program to end at its next chance:
// the window shell quits its loop, the headless tool stops its run; without either the
// process exits normally. Halt ends the process at once.
// Threads: any thread; the terminate handler runs on the caller's thread.
#pragma once

#include <functional>

#include "PlatformApi.h"

SVP_API void ApplicationTerminate();
SVP_API bool ApplicationTerminated();
// Installs what ApplicationTerminate does (an empty handler restores the default exit).
SVP_API void SetApplicationTerminateHandler(std::function<void()> handler);
[[noreturn]] SVP_API void Halt(int exitCode);

// From now on SIGINT and SIGTERM ask the program to end through its normal shutdown
// instead of killing it. Returns a descriptor that becomes readable when one has arrived,
// for an event loop to watch (-1 when none could be made; the signal is still noted).
SVP_API int CatchTerminationSignals();
// The signal that asked the program to end, or 0. Any thread.
SVP_API int TerminationSignal();
