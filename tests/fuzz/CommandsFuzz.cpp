// The command set: arbitrary bytes as start.svx, run for a bounded number of frames with
// clicks and mouse moves the input also chooses, over a scene file whose scenes (with
// masks, a button scene that takes input) the seeds' CHANGESCENE commands name. Programs
// are never started.
#include <filesystem>

#include "../PngWriter.h"
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
  bool MayStartProcess(const std::string&, const std::string&) override { return false; }
};
// Written once: scenes named as the seed stories name theirs.
void WriteScenes() {
  static bool written = false;
  if (written) return;
  written = true;
  const std::string dir = FuzzDir();
  std::vector<uint8_t> picture(8 * 6 * 4);
  for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 37);
  WritePng(dir + "/p.png", 8, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, picture);
  std::vector<uint8_t> ramp(8 * 6);
  for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i * 5);
  WritePng(dir + "/m.png", 8, 6, PNG_COLOR_TYPE_GRAY, 8, ramp);
  std::filesystem::create_directory(dir + "/knv");
  const std::string img = "<knobject type=img src=p.png width=8 height=6 pos_x=\"#t MaxLimit 9\" pos_y=3 alpha=\"#t * 9\"/>";
  const std::string scenes =
      "<kn><trans><transrule src=m.png vag=5/><transrule src=m.png vag=0/><transrule src=m.png vag=8/></trans>"
      "<scene index=blank></scene><scene index=a>" + img + "</scene><scene index=b>" + img + img +
      "</scene><scene index=top>" + img + "</scene><scene index=title control=1>" + img +
      "<knobject type=button src=p.png hover=p.png width=8 height=6 pos_x=1 pos_y=1 alpha=255 index=3/></scene></kn>";
  std::FILE* f = std::fopen((dir + "/knv/background.knv").c_str(), "wb");
  if (f) {
    std::fwrite(scenes.data(), 1, scenes.size(), f);
    std::fclose(f);
  }
}

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
  WriteScenes();
  WriteInput("start.svx", data + 2, size - 2);
  THost host;
  TStill clock;
  try {
    TSubThread runtime(host, FuzzDir(), clock);
    for (int frame = 0; frame < 40 && !ended; ++frame) {
      if ((data[0] >> (frame % 8)) & 1) runtime.Input(TInputEvent{evAdvance, 1});
      host.Mouse = TPoint{(data[1] * (frame + 1)) % 800, (data[1] * 7 * frame) % 600};
      runtime.UpdateStep();
      runtime.DrawStep();
    }
  } catch (const Exception&) {
  }
  std::filesystem::current_path(home);
  std::filesystem::remove(FuzzDir() + "/sorvane.log");
  std::filesystem::remove(FuzzDir() + "/Kinetra.log");
  return 0;
}
