// A scene: the ordered list of objects the engine shows, updates and draws as a whole.
// Showing it again restarts its time base, so every object's #t starts over.
// Threads: the engine's thread only.
#pragma once

#include <memory>
#include <vector>

#include "engine/KNSceneObject.h"

class TKNScene : public TObject {
 public:
  explicit TKNScene(bool control);
  ~TKNScene() override;
  TKNScene(const TKNScene&) = delete;
  TKNScene& operator=(const TKNScene&) = delete;

  void AddObject(std::unique_ptr<TKNSceneObject> object);
  // Every object takes its images; the scene takes input when its file said so.
  void Activate(int32_t now);
  void Deactivate();
  // True when something of the scene must be drawn again.
  bool Update(TKNUpdateContext& context);
  void Draw(TKNDrawContext& context);
  // Every object queues its rectangle, queued or not.
  void InvalidateAll(TClipRects* rects);

  // Whether it must be drawn again, takes input, and when it was shown; restored as a
  // whole with its objects' states by the engine.
  void RestoreScene(bool dirty, bool input, int32_t activationTime) {
    FDirty = dirty;
    FInput = input;
    FActivationTime = activationTime;
  }

  bool Dirty() const { return FDirty; }
  void MarkDirty() { FDirty = true; }
  bool Input() const { return FInput; }
  void ClearInput() { FInput = false; }
  bool Control() const { return FControl; }
  int32_t ActivationTime() const { return FActivationTime; }
  const std::vector<std::unique_ptr<TKNSceneObject>>& Objects() const { return FObjects; }

 private:
  bool FDirty = true;
  bool FInput = false;
  bool FControl;
  int32_t FActivationTime = 0;
  std::vector<std::unique_ptr<TKNSceneObject>> FObjects;
};
