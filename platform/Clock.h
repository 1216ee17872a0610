// The millisecond clock and sleeping (timeGetTime, Sleep, timeBeginPeriod/timeEndPeriod).
// Threads: any.
#pragma once

#include <cstdint>

#include "PlatformApi.h"

// Milliseconds of a steady clock, wrapping at 32 bits.
SVP_API uint32_t timeGetTime();
SVP_API void Sleep(uint32_t milliseconds);
// For the start-up benchmark: with SORVANE_REPORT_FIRST_FRAME set, prints "startup WHAT at
// NS" on stderr (the wall clock in nanoseconds, comparable with the time of the exec);
// otherwise nothing. `what` is one word.
SVP_API void StartupMark(const char* what);
// The timer resolution is always fine here; these only keep the calls' shape.
inline void timeBeginPeriod(uint32_t) {}
inline void timeEndPeriod(uint32_t) {}
