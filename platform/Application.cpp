#include "Application.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::mutex gLock;
std::function<void()> gHandler;
std::atomic<bool> gTerminated{false};
}  // namespace

void ApplicationTerminate() {
  gTerminated.store(true);
  std::function<void()> handler;
  {
    std::lock_guard<std::mutex> lock(gLock);
    handler = gHandler;
  }
  if (handler) {
    handler();
  } else {
    std::fflush(nullptr);
    std::exit(0);
  }
}

bool ApplicationTerminated() { return gTerminated.load(); }

void SetApplicationTerminateHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(gLock);
  gHandler = std::move(handler);
}

void Halt(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}
