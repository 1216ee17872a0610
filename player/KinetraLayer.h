// The scene layer: the graphics engine in the player's layer stack. Each layer operation
// is one engine call; the engine composes its scenes straight into the back buffer, and
// every update leaves the layer in selection mode, so a click while the engine is busy
// asks for a button and never cuts a transition short.
// Threads: main thread only (the update and draw steps).
#pragma once

#include <vector>

#include "player/KinetraDLL.h"
#include "player/Layer.h"

class TKinetraLayer : public TLayer {
 public:
  using TCreate = int32_t (*)(IKinetra**);
  // Creates the engine (through `create`, KNCreate but in tests) and gives it the screen's
  // position and size. When the engine cannot be made, the start-up ends with a box that
  // says what failed (EStartupAborted).
  explicit TKinetraLayer(TCreate create = KNCreate);
  ~TKinetraLayer() override;
  TKinetraLayer(const TKinetraLayer&) = delete;
  TKinetraLayer& operator=(const TKinetraLayer&) = delete;

  bool IsBusy() const override;
  // One engine tick, whatever the frame count.
  void Update(int32_t frameCount, int32_t framesPerSecond, TClipRects& dirty) override;
  void Draw(TABitmap& backBuffer, const TClipRects& dirty) override;
  void Skip() override {}
  int32_t TakeSelection() override;

  // The engine's own results (0 or a KN_E_ value).
  int32_t LoadScenes(const AnsiString& fileName);
  int32_t ChangeScene(int32_t layer, const AnsiString& name, int32_t transition, int32_t duration);

  // What the engine shows on a layer (false when it cannot say), and a scene's buttons.
  bool LayerInfo(int32_t layer, TKNLayerInfo& out) const;
  std::vector<TKNButtonInfo> Buttons(int32_t scene) const;
  // The scene a layer shows, by name (empty for none).
  std::string ShownSceneName(int32_t layer) const;
  // Ends the engine's transitions at once.
  void FinishTransitions();
  // A layer of the engine is in a transition.
  bool InTransition() const;
  // The engine's state as bytes (empty when it cannot say), and back: 0, or the engine's
  // refusal (KN_E_STATE_...).
  std::vector<uint8_t> SaveState() const;
  int32_t LoadState(const std::vector<uint8_t>& state);

 private:
  TKNOutput Output{};
  TKNUpdateInfo UpdateInfo{};
  TClipRects* DrawRects = nullptr;
  IKinetra* Engine = nullptr;
  IKinetraState* State = nullptr;  // the same engine's state, when it offers it
};
