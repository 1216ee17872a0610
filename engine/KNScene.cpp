#include "engine/KNScene.h"

TKNScene::TKNScene(bool control) : FControl(control) {}

TKNScene::~TKNScene() = default;

void TKNScene::AddObject(std::unique_ptr<TKNSceneObject> object) { FObjects.push_back(std::move(object)); }

void TKNScene::Activate(int32_t now) {
  FDirty = true;
  for (auto& object : FObjects) object->Activate();
  FInput = FControl;
  FActivationTime = now;
}

void TKNScene::Deactivate() {
  for (auto& object : FObjects) object->Deactivate();
}

bool TKNScene::Update(TKNUpdateContext& context) {
  context.Changed = 0;
  context.SceneStart = FActivationTime;
  for (auto& object : FObjects) object->Update(context);
  FDirty = FDirty || context.Changed;
  return FDirty;
}

void TKNScene::Draw(TKNDrawContext& context) {
  FDirty = false;
  for (auto& object : FObjects) object->Draw(context);
}

void TKNScene::InvalidateAll(TClipRects* rects) {
  for (auto& object : FObjects) object->QueueBounds(rects, true);
}
