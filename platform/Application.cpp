#include "Application.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {
std::atomic<int> gSignal{0};
int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int signal) {
  gSignal.store(signal);
  if (gSignalPipe[1] >= 0) {
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
  }
}

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

std::function<void()> SetApplicationTerminateHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(gLock);
  std::swap(gHandler, handler);
  return handler;
}

void Halt(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

int CatchTerminationSignals() {
  if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) gSignalPipe[0] = gSignalPipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  return gSignalPipe[0];
}

void IgnoreBrokenPipes() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

int TerminationSignal() { return gSignal.load(); }
