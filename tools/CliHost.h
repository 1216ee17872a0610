// The window sorvane-cli's runtimes have instead of one: the cursor where the tool puts it,
// no screen, EXIT noted, programs started only when allowed; and a clock that stands still,
// since frames advance by the tool's own loop.
// Threads: the tool's one thread.
#pragma once

#include <string>

#include "player/SubThread.h"

class TCliHost : public IPlayerHost {
 public:
  TPoint Mouse{};
  bool Closed = false;
  bool AllowProcesses = false;
  std::string Logs;  // empty: beside the story

  TPoint ClientOrigin() override { return TPoint{0, 0}; }
  TPoint CursorPos() override { return Mouse; }
  void Invalidate() override {}
  void Present(const TABitmap&, const TRect&) override {}
  void DrawOverlay(const std::vector<TOverlayLine>&) override {}
  void Close() override { Closed = true; }
  std::unique_ptr<ISCLDebugView> CreateScriptDebugView() override { return nullptr; }
  std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable&) override { return nullptr; }
  bool MayStartProcess(const std::string&, const std::string&) override { return AllowProcesses; }
  std::string LogFolder() override { return Logs; }
};

class TStillClock : public IFrameClock {
 public:
  uint32_t Now() override { return 0; }
  void Sleep(uint32_t) override {}
};
