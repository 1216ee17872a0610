#include "Clock.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

uint32_t timeGetTime() {
  using namespace std::chrono;
  return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

void StartupMark(const char* what) {
  static const bool report = std::getenv("SORVANE_REPORT_FIRST_FRAME") != nullptr;
  if (!report) return;
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  std::fprintf(stderr, "startup %s at %lld\n", what, static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}
