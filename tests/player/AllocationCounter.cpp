#include "AllocationCounter.h"

#include <cstdlib>
#include <new>
#include <thread>

std::atomic<bool> gCounting{false};
std::atomic<long> gAllocations{0};

namespace {
// Only the thread that runs the frames counts: workers (the image cache decoding ahead, the
// sound players) allocate on their own time.
const std::thread::id gMainThread = std::this_thread::get_id();
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// Sanitizers bring their own allocator: nothing is counted there.
const bool gCountingAvailable = false;
#else
const bool gCountingAvailable = true;

#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(size_t n) {
  if (gCounting && std::this_thread::get_id() == gMainThread) ++gAllocations;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
#endif
