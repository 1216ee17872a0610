// Counts the main thread's allocations (operator new) while gCounting is set.
#pragma once

#include <atomic>

extern std::atomic<bool> gCounting;
extern std::atomic<long> gAllocations;
extern const bool gCountingAvailable;
