// Thread message queues (PostThreadMessage, GetMessage, PeekMessage): every thread has a
// queue, made when it first asks for one; messages posted to a thread that has none yet
// are refused.
// Threads: Post from any thread; Get and Peek on the receiving thread.
#pragma once

#include <cstdint>

#include "PlatformApi.h"

using DWORD = uint32_t;
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using UINT = uint32_t;

struct MSG {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;
constexpr UINT PM_NOREMOVE = 0;
constexpr UINT PM_REMOVE = 1;

SVP_API DWORD GetCurrentThreadId();
// False when the thread has no queue.
SVP_API bool PostThreadMessage(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam);
// Waits for the next message of the calling thread; 0 for WM_QUIT, else 1.
SVP_API int GetMessage(MSG* msg);
// The next message if there is one (removed with PM_REMOVE); makes the queue exist.
SVP_API bool PeekMessage(MSG* msg, UINT removeFlag);
