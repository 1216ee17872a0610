// Scene description files: arbitrary bytes loaded as the engine loads them, objects shown,
// updated with the mouse moving over them, drawn and let go. Images named in the file are
// looked for in the fuzz folder, where one small picture and one mask lie.
#include <unistd.h>

#include "FuzzSupport.h"
#include "engine/KNRects.h"
#include "engine/KNSceneLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  static const bool ready = [] {
    if (::chdir(FuzzDir().c_str()) != 0) return false;
    // A 2x2 opaque PNG (red over green), used as "a.png" and as a mask "m.png".
    static const uint8_t kPng[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00,
        0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD, 0xD4, 0x9A, 0x73, 0x00,
        0x00, 0x00, 0x11, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0x00, 0x44, 0x60, 0xE2,
        0x3F, 0x03, 0x00, 0x1D, 0xF0, 0x03, 0xFD, 0xA0, 0x33, 0x09, 0x89, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45,
        0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    WriteInput("a.png", kPng, sizeof kPng);
    WriteInput("m.png", kPng, sizeof kPng);
    return true;
  }();
  if (!ready) return 0;
  WriteInput("scene.knv", data, size);
  TErrorReport report;  // no log: the fuzz folder stays as it is
  TGraphicsLoader loader;
  TKNMaskArray masks;
  TIntTable index;
  index.SetInt("NULL", -1);
  TKNSceneArray scenes;
  if (LoadSceneFile("scene.knv", TKNSceneFileTargets{scenes, index, masks, loader, report}, 0) != 0) return 0;
  TRect store[16];
  TClipRects rects{store, 0, 16};
  TABitmap target;
  target.SetSize(64, 64);
  TKNUpdateContext update;
  update.Rects = &rects;
  TKNDrawContext draw{&rects, &target};
  for (int32_t tick = 1; tick <= 8; ++tick) {
    rects.Count = 0;
    update.Now = tick;
    update.MouseX = update.MouseY = tick * 3;
    scenes[0]->Update(update);
    scenes[0]->Draw(draw);
  }
  scenes[0]->Deactivate();
  return 0;
}
