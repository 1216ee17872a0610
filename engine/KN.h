// The engine: every scene of one scene file, two layers that each show at most one current
// scene (layer 1 over layer 0), a cross-fade or mask transition per layer, the file's masks,
// a clock of ticks, the image cache and the engine's log, behind IKinetra.
// Threads: one thread at a time calls an engine; only the image cache has a worker.
#pragma once

#include <array>
#include <atomic>
#include <memory>

#include "engine/KNSceneLoader.h"
#include "engine/KinetraDLL.h"

class TKinetra final : public IKinetra, public IKinetraState {
 public:
  static constexpr int kLayers = KN_LAYER_COUNT;
  static constexpr int32_t kDefaultDuration = 2000;  // ms
  static constexpr uint8_t kNoTransition = 0, kMaskTransition = 1, kCrossFade = 254;

  TKinetra();

  int32_t QueryInterface(const KNIID* iid, void** out) override;
  int32_t AddRef() override;
  int32_t Release() override;
  int32_t Update(const TKNUpdateInfo* info) override;
  int32_t Draw(TClipRects* const* rects) override;
  int32_t SetOutput(const TKNOutput* output) override;
  int32_t LoadScenes(const char* fileName) override;
  int32_t ChangeScene(int32_t layer, const char* name, int32_t transition, int32_t duration) override;
  int32_t IsBusy() override;
  int32_t TakeSelection() override;
  int32_t Reserved(int32_t, int32_t) override { return 0; }
  int32_t GetLayerInfo(int32_t layer, TKNLayerInfo* out) override;
  int32_t GetButtons(int32_t scene, TKNButtonInfo* out, int32_t capacity) override;
  int64_t SaveState(uint8_t* out, int64_t capacity) override;
  int32_t LoadState(const uint8_t* data, int64_t size) override;
  int32_t GetSceneName(int32_t scene, char* out, int32_t capacity) override;
  int32_t FinishTransitions() override;

  // For tests and tools: what the engine shows.
  int32_t Current(int layer) const { return FLayers[size_t(layer)].Current; }
  int32_t Previous(int layer) const { return FLayers[size_t(layer)].Previous; }
  uint8_t TransitionState(int layer) const { return FLayers[size_t(layer)].State; }
  int32_t TransitionLevel(int layer) const { return FLayers[size_t(layer)].Level; }

 private:
  ~TKinetra();

  struct TLayerState {
    int32_t Current = -1;
    int32_t Previous = -1;
    uint8_t State = kNoTransition;
    const TBitmap* Mask = nullptr;
    int32_t MaskSlot = -1;
    int16_t Vagueness = kKNDefaultVagueness;
    int32_t Level = 0;
    int32_t Duration = kDefaultDuration;
    int32_t Start = 0;
    bool ClearRequest = false;
    // What went from the screen since the last Update without a transition to redraw it:
    // a scene changed at once, or a transition cut short.
    int32_t Vacated = -1;
    bool Interrupted = false;
    TABitmap Composite, Outgoing, Incoming;
  };

  // The pictures a transition composes from, at the output's size: made when the layer's
  // first transition needs them, since many stories never fade. May throw std::bad_alloc.
  void EnsureWork(TLayerState& layer);
  TKNScene* Scene(int32_t number) const;
  struct TSavedState;
  std::vector<uint8_t> StateBytes() const;
  int32_t ReadState(const uint8_t* data, int64_t size, TSavedState& state) const;
  // Scenes by the names a state keeps them under ("#N" for one without a name).
  static constexpr int32_t kNoSuchScene = -2;
  AnsiString SceneName(int32_t number) const;
  int32_t SceneNumber(const AnsiString& name) const;
  bool Shows(int32_t number) const;
  void ApplyState(TSavedState& state);
  void EndTransition(TLayerState& layer);
  void UpdateTransitionLevels(TClipRects* rects);
  void QueueVacatedAreas(TClipRects* rects);
  void ListWholeOutput(TClipRects* rects) const;
  void DrawLayer(TLayerState& layer);

  std::atomic<int32_t> FRefCount{0};
  int32_t FMode = 0;
  int32_t FDrawn = 0;  // pictures drawn, counted to two: images are decoded ahead from the second
  HBITMAP FTargetDC = nullptr;
  HBITMAP FTargetBitmap = nullptr;
  int32_t FLeft = 0, FTop = 0, FHeight = 0, FWidth = 0;
  bool FLoaded = false;
  std::array<TLayerState, kLayers> FLayers;
  int32_t FClock = 0;
  bool FInput = false;
  int32_t FHover = -1;
  TABitmap FOutput;
  std::unique_ptr<TErrorReport> FReport;
  std::unique_ptr<TKNSceneFile> FFile;
  TKNUpdateContext FUpdateContext;
  TKNDrawContext FDrawContext;
};
