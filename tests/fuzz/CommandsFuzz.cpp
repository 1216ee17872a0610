// The command set: arbitrary bytes as start.svx, run for a bounded number of frames with
// clicks and mouse moves the input also chooses. Programs are never started.
#include <filesystem>

#include "FuzzSupport.h"
#include "platform/Application.h"
#include "player/SubThread.h"

namespace {
class THost : public IPlayerHost {
 public:
  TPoint Mouse{};
  TPoint ClientOrigin() override { return TPoint{0, 0}; }
  TPoint CursorPos() override { return Mouse; }
  void Invalidate() override {}
  void Present(const TABitmap&, const TRect&) override {}
  void DrawOverlay(const std::vector<TOverlayLine>&) override {}
  void Close() override {}
  std::unique_ptr<ISCLDebugView> CreateScriptDebugView() override { return nullptr; }
  std::unique_ptr<IVariableDebugView> CreateVariableDebugView(TIntTable&) override { return nullptr; }
  TProcessPolicy ProcessPolicy() override { return TProcessPolicy::Refuse; }
};
class TStill : public IFrameClock {
 public:
  uint32_t Now() override { return 0; }
  void Sleep(uint32_t) override {}
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  // An Abort answer asks the application to end: here it ends this input's run.
  static bool ended = false;
  static const bool handler = (SetApplicationTerminateHandler([] { ended = true; }), true);
  (void)handler;
  ended = false;
  static const std::string home = std::filesystem::current_path().string();
  if (size < 2) return 0;
  ::setenv("SORVANE_AUDIO", "null", 0);
  WriteInput("start.svx", data + 2, size - 2);
  THost host;
  TStill clock;
  try {
    TSubThread runtime(host, FuzzDir(), clock);
    for (int frame = 0; frame < 40 && !ended; ++frame) {
      if ((data[0] >> (frame % 8)) & 1) EventQueue->Push(TInputEvent{evAdvance, 1});
      host.Mouse = TPoint{(data[1] * (frame + 1)) % 800, (data[1] * 7 * frame) % 600};
      runtime.UpdateStep();
      runtime.DrawStep();
    }
  } catch (const Exception&) {
  }
  std::filesystem::current_path(home);
  std::filesystem::remove(FuzzDir() + "/sorvane.log");
  return 0;
}
