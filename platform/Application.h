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
