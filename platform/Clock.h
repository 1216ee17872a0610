// The millisecond clock and sleeping (timeGetTime, Sleep, timeBeginPeriod/timeEndPeriod).
// Threads: any.
#pragma once

#include <cstdint>

#include "PlatformApi.h"

// Milliseconds of a steady clock, wrapping at 32 bits.
SVP_API uint32_t timeGetTime();
SVP_API void Sleep(uint32_t milliseconds);
// The timer resolution is always fine here; these only keep the calls' shape.
inline void timeBeginPeriod(uint32_t) {}
inline void timeEndPeriod(uint32_t) {}
