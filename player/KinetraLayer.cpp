#include "player/KinetraLayer.h"

#include "common/Screen.h"
#include "player/ResStr.h"
#include "player/ScriptLoader.h"

TKinetraLayer::TKinetraLayer(TCreate create) {
  const int32_t created = create(&Engine);
  if (created != 0 || !Engine) {
    Engine = nullptr;
    FatalStartupError(created == KN_E_CREATE_NOMEMORY   ? ResStr::OutOfMemory
                      : created == KN_E_CREATE_NOTHREAD ? ResStr::EngineNoThread
                                                        : ResStr::EngineNotCreated,
                      "ST-CR_1");
  }
  Output = TKNOutput{};
  Output.Mode = KN_OUTPUT_DIRECT;
  Output.Left = 0;
  Output.Top = 0;
  Output.Width = kScreenWidth;
  Output.Height = kScreenHeight;
  Output.Flags = KNOUTPUT_POSITION | KNOUTPUT_SIZE;  // the mode comes with the first Draw's target
  Engine->SetOutput(&Output);
}

TKinetraLayer::~TKinetraLayer() {
  if (Engine) Engine->Release();
}

bool TKinetraLayer::IsBusy() { return Engine->IsBusy() != 0; }

void TKinetraLayer::Update(int32_t, int32_t framesPerSecond, TClipRects& dirty) {
  UpdateInfo.Ticks = 1;
  UpdateInfo.FrameRate = framesPerSecond;
  UpdateInfo.MouseX = MouseX;
  UpdateInfo.MouseY = MouseY;
  UpdateInfo.Rects = &dirty;
  Engine->Update(&UpdateInfo);
  SelectMode = kSelectChoice;
}

void TKinetraLayer::Draw(TABitmap& backBuffer, const TClipRects& dirty) {
  Output.Bitmap = backBuffer.Handle();
  Output.Flags = KNOUTPUT_MODE;
  Engine->SetOutput(&Output);
  // The engine reads the list and never changes it while drawing.
  DrawRects = const_cast<TClipRects*>(&dirty);
  Engine->Draw(&DrawRects);
}

int32_t TKinetraLayer::TakeSelection() { return Engine->TakeSelection(); }

int32_t TKinetraLayer::LoadScenes(const AnsiString& fileName) { return Engine->LoadScenes(fileName.c_str()); }

int32_t TKinetraLayer::ChangeScene(int32_t layer, const AnsiString& name, int32_t transition, int32_t duration) {
  return Engine->ChangeScene(layer, name.c_str(), transition, duration);
}
