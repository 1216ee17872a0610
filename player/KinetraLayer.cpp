#include "player/KinetraLayer.h"

#include <algorithm>
#include <string>

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
  void* state = nullptr;
  if (Engine->QueryInterface(&IID_IKinetraState, &state) == 0) State = static_cast<IKinetraState*>(state);
}

TKinetraLayer::~TKinetraLayer() {
  if (State) State->Release();
  if (Engine) Engine->Release();
}

bool TKinetraLayer::IsBusy() const { return Engine->IsBusy() != 0; }

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

bool TKinetraLayer::LayerInfo(int32_t layer, TKNLayerInfo& out) const {
  return State && State->GetLayerInfo(layer, &out) == 0;
}

std::vector<TKNButtonInfo> TKinetraLayer::Buttons(int32_t scene) const {
  std::vector<TKNButtonInfo> buttons;
  const int32_t count = State ? State->GetButtons(scene, nullptr, 0) : -1;
  if (count <= 0) return buttons;
  buttons.resize(size_t(count));
  buttons.resize(size_t(std::max(0, std::min(count, State->GetButtons(scene, buttons.data(), count)))));
  return buttons;
}

std::vector<uint8_t> TKinetraLayer::SaveState() const {
  std::vector<uint8_t> bytes;
  if (!State) return bytes;
  const int64_t size = State->SaveState(nullptr, 0);
  if (size <= 0) return bytes;
  bytes.resize(size_t(size));
  if (State->SaveState(bytes.data(), size) != size) bytes.clear();
  return bytes;
}

int32_t TKinetraLayer::LoadState(const std::vector<uint8_t>& state) {
  return State ? State->LoadState(state.data(), int64_t(state.size())) : KN_E_STATE_DAMAGED;
}

bool TKinetraLayer::InTransition() const {
  for (int32_t layer = 0; layer < KN_LAYER_COUNT; ++layer) {
    TKNLayerInfo info{};
    if (LayerInfo(layer, info) && info.Transition != KN_TRANSITION_NONE) return true;
  }
  return false;
}

std::string TKinetraLayer::ShownSceneName(int32_t layer) const {
  TKNLayerInfo info{};
  if (!LayerInfo(layer, info)) return std::string();
  const int32_t size = State->GetSceneName(info.Current, nullptr, 0);
  if (size <= 0) return std::string();
  std::string name(size_t(size) + 1, '\0');
  if (State->GetSceneName(info.Current, name.data(), size + 1) != size) return std::string();
  name.resize(size_t(size));
  return name;
}

void TKinetraLayer::FinishTransitions() {
  if (State) State->FinishTransitions();
}
